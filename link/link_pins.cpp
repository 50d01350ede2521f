// The binary pin transaction: write and read the controller's three I/O ports.
#include "link/link_internal.h"

uint8_t link_pin_command(bool write1, bool write2, bool write3, bool read1, bool read2, bool read3) {
    uint8_t c = 0x88;
    if (write1) c |= 0x10;
    if (write2) c |= 0x20;
    if (write3) c |= 0x40;
    if (read1) c |= 0x01;
    if (read2) c |= 0x02;
    if (read3) c |= 0x04;
    return c;
}

int link_pin_reply_valid(uint8_t reply) { return (reply & 0x8F) == 0x80 ? 1 : 0; }

int link_pin_transaction(TargetLink* link, const uint8_t* write1, const uint8_t* write2, const uint8_t* write3,
                         uint8_t* read1, uint8_t* read2, uint8_t* read3) {
    uint8_t* slots[3] = {read1, read2, read3};
    auto fail = [&]() {
        for (uint8_t* s : slots)
            if (s) *s = 0;
        return 0;
    };
    LinkUse use(link);
    if (!use.ok()) {
        link_fail_use(link);
        return fail();
    }
    if (!write1 && !write2 && !write3 && !read1 && !read2 && !read3) return 0;

    const uint8_t* writes[3] = {write1, write2, write3};
    uint8_t command = link_pin_command(write1, write2, write3, read1, read2, read3);

    LockHold exchange(link->exchange_lock);
    ++link->busy_depth;
    struct Unbusy {
        TargetLink* l;
        ~Unbusy() { --l->busy_depth; }
    } unbusy{link};
    // Stray input waiting now would be read as the pin reply.
    link_reset_dropped(link);
    if (!link_drop_stray_input(link)) return fail();

    bool sent = true;
    {
        LockHold io(link->io_lock);
        uint32_t written = 0;
        sent = link_write(link, &command, 1, &written) && written == 1;
        for (int i = 0; sent && i < 3; ++i) {
            if (!writes[i]) continue;
            written = 0;
            sent = link_write(link, writes[i], 1, &written) && written == 1;
        }
    }
    if (!sent) link_fail_on_port(link, LINK_ERROR_WRITE);
    if (!sent || !link_await_reply(link)) return fail();

    LockHold io(link->io_lock);
    int reply = link_read_line_byte(link);
    if (reply < 0) return fail();
    if (!link_pin_reply_valid(static_cast<uint8_t>(reply))) {
        link_fail_bad_start(reply, "pin reply");
        return fail();
    }
    const uint8_t announce[3] = {0x10, 0x20, 0x40};
    for (int i = 0; i < 3; ++i) {
        if (!(reply & announce[i])) continue;
        int v = link_read_line_byte(link);
        if (v < 0) return fail();
        if (slots[i]) *slots[i] = static_cast<uint8_t>(v);
    }
    return 1;
}
