// Entry of zorvtalk-cli.
#include "cli/cli_run.h"
#include "platform/stdio_guard.h"

int main(int argc, char** argv) {
    stdio_guard();
    return cli_main(argc, argv);
}
