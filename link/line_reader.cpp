// Command files are read in binary; CR, LF and CR LF each end a line, a NUL at
// the start of a line opens a 16-byte skip block, other control bytes are dropped.
#include "link/line_reader.h"

void line_reader_init(LineReader* reader) {
    reader->n = 0;
    reader->skip = 0;
    reader->after_cr = false;
    reader->cutting = false;
    reader->cut = false;
    reader->line[0] = '\0';
}

namespace {

int complete(LineReader* reader) {
    reader->line[reader->n] = '\0';
    reader->n = 0;
    reader->cut = reader->cutting;
    reader->cutting = false;
    return 1;
}

}  // namespace

int line_reader_feed(LineReader* reader, uint8_t b) {
    bool after_cr = reader->after_cr;
    reader->after_cr = false;
    if (reader->skip > 0) {
        --reader->skip;
        return 0;
    }
    if (b == 0x0D || b == 0x0A) {
        // LF straight after CR is the second half of one line end, not an empty line.
        if (b == 0x0A && after_cr) return 0;
        reader->after_cr = (b == 0x0D);
        return complete(reader);
    }
    if (b == 0x00 && reader->n == 0) {
        reader->skip = SKIP_BLOCK;
        return 0;
    }
    if (b >= 0x20) {
        if (reader->n < LINE_CHARS)
            reader->line[reader->n++] = static_cast<char>(b);
        else
            reader->cutting = true;
    }
    return 0;
}

int line_reader_finish(LineReader* reader) {
    if (reader->skip > 0 || reader->n == 0) return 0;
    return complete(reader);
}
