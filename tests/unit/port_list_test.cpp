// The Port box on Linux against a fake /dev and /sys: what each adapter is called,
// and the list read afresh whenever the box opens.
#include <system_error>
#include <vector>

#include "platform/ports.h"
#include "tests/unit/console_fixture.h"

namespace {

namespace fs = std::filesystem;

struct Attribute {
    const char* name;
    std::string value;
};

struct Adapter {
    const char* tty;
    const char* device;  // the tty's device folder, under sys/devices
    const char* usb;     // the USB device's folder, under sys/devices
    std::vector<Attribute> attributes;
};

const Adapter FTDI = {"ttyUSB0", "usb1/1-1/1-1:1.0/ttyUSB0", "usb1/1-1",
                      {{"idVendor", "0403"}, {"manufacturer", "FTDI"}, {"product", "FT232R USB UART"},
                       {"serial", "A5XK3RJH"}}};
const Adapter PROLIFIC = {"ttyACM0", "usb1/1-2/1-2:1.0", "usb1/1-2",
                          {{"idVendor", "067b"}, {"manufacturer", "Prolific"}, {"product", "Prolific USB-Serial"}}};

class FakeSystem {
public:
    explicit FakeSystem(const std::string& root) : root_(root) {
        fs::create_directories(root_ / "dev");
        fs::create_directories(root_ / "sys/class/tty");
        ports_set_system_root(root.c_str());
    }
    ~FakeSystem() { ports_set_system_root(nullptr); }

    void plug(const Adapter& a) {
        std::ofstream(root_ / "dev" / a.tty).put('\0');
        fs::path device = root_ / "sys/devices" / a.device, usb = root_ / "sys/devices" / a.usb;
        fs::create_directories(device);
        fs::create_directories(root_ / "sys/class/tty" / a.tty);
        std::error_code ignored;
        fs::create_directory_symlink(device, root_ / "sys/class/tty" / a.tty / "device", ignored);
        for (const Attribute& at : a.attributes) std::ofstream(usb / at.name, std::ios::binary) << at.value << "\n";
    }
    void unplug(const Adapter& a) {
        std::error_code ignored;
        fs::remove(root_ / "dev" / a.tty, ignored);
        fs::remove_all(root_ / "sys/class/tty" / a.tty, ignored);
    }
    fs::path root_;
};

std::string describe(const char* path, int size = 256) {
    std::vector<char> out(static_cast<size_t>(size > 0 ? size : 1), 'x');
    int n = ports_describe(path, out.data(), size);
    std::string text = size > 0 ? std::string(out.data()) : std::string();
    EXPECT_EQ(n, static_cast<int>(text.size())) << path;
    return text;
}

class PortBoxTest : public ConsoleTest {};

TEST_F(PortBoxTest, DescribesAdaptersFromSysfs) {
    FakeSystem sys(dir_ + "/root");
    sys.plug(FTDI);
    sys.plug(PROLIFIC);
    sys.plug({"ttyACM1", "usb1/1-3/1-3:1.0", "usb1/1-3", {{"idVendor", "1a86"}, {"idProduct", "7523"}}});
    // The strings come from the device: one line, no control bytes, kept short.
    sys.plug({"ttyUSB1", "usb1/1-4/1-4:1.0/ttyUSB1", "usb1/1-4",
              {{"idVendor", "1234"}, {"product", "A\tB\x01" "C\nsecond line"}, {"serial", std::string(100, 's')}}});
    sys.plug({"ttyS0", "platform/serial8250/tty/ttyS0", "platform", {}});
    fs::create_directories(sys.root_ / "dev/serial/by-id");
    fs::create_symlink("../../ttyUSB0", sys.root_ / "dev/serial/by-id/usb-FTDI_A5XK3RJH");

    const struct {
        const char* path;
        std::string text;
    } cases[] = {
        {"/dev/ttyUSB0", "FTDI FT232R USB UART, serial A5XK3RJH"},
        {"/dev/ttyACM0", "Prolific USB-Serial"},  // the maker said once
        {"/dev/ttyACM1", "USB device 1a86:7523"},
        {"/dev/ttyUSB1", "A B C, serial " + std::string(64, 's')},
        {"/dev/serial/by-id/usb-FTDI_A5XK3RJH", "FTDI FT232R USB UART, serial A5XK3RJH"},
        {"/dev/ttyS0", ""},  // not on USB
        {"/dev/ttyUSB9", ""},
        {"/dev/..", ""},
        {"", ""},
    };
    for (const auto& c : cases) EXPECT_EQ(describe(c.path), c.text) << c.path;
    EXPECT_EQ(describe("/dev/ttyUSB0", 8), "FTDI FT");
    EXPECT_EQ(ports_describe(nullptr, nullptr, 0), 0);
}

TEST_F(PortBoxTest, ListedAfreshWhenOpenedWhileDisconnected) {
    FakeSystem sys(dir_ + "/root");
    sys.plug(FTDI);
    write_ini("[Ports]\nCOM200=/tmp/zorv-none-200\n[Connection]\nPort=7\n");
    const std::string ftdi = "COM33 (/dev/ttyUSB0: FTDI FT232R USB UART, serial A5XK3RJH)",
                      prolific = "COM65 (/dev/ttyACM0: Prolific USB-Serial)", assigned = "COM200 (/tmp/zorv-none-200)";
    using Items = std::vector<std::string>;
    run([&](UiWindow* w) {
        FakeControl& box = fake_control(w, ID_PORT);
        auto open_box = [&] { fake_ui_send(w, UiMessage{UI_COMMAND, ID_PORT, UI_DROPDOWN, 0, 0}); };
        EXPECT_EQ(box.items, (Items{assigned, ftdi}));

        // Plugged in after start: listed when the box opens; typed text kept.
        sys.plug(PROLIFIC);
        open_box();
        EXPECT_EQ(box.items, (Items{assigned, ftdi, prolific}));
        EXPECT_EQ(box.text, "COM7");

        // The chosen entry stays chosen; unplugged, it leaves the list but not the box.
        box.text = ftdi;
        open_box();
        EXPECT_EQ(box.text, ftdi);
        sys.unplug(FTDI);
        open_box();
        EXPECT_EQ(box.items, (Items{assigned, prolific}));
        EXPECT_EQ(box.text, ftdi);

        connect(w, prolific.c_str());
        EXPECT_EQ(session.connected, 1);
        EXPECT_EQ(fake_serial().opened_port, 65);
        sys.plug(FTDI);
        open_box();  // connected: the list is left alone
        EXPECT_EQ(box.items, (Items{assigned, prolific}));
    });
}

}  // namespace
