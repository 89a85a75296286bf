#include <signal.h>

#include <new>

#include "driver/run_sequence.h"
#include "platform/console.h"

int main(int argc, char** argv) {
    // A console that went away (a closed pipe) fails its writes instead of ending the run
    // part-way through filing: the messages are lost, the recording is still filed.
    signal(SIGPIPE, SIG_IGN);
    try {
        return RunConversion(argc, argv) & 0xFF;
    } catch (const std::bad_alloc&) {
        ConsolePrint("ERROR: out of memory!!!");
    } catch (...) {
        ConsolePrint("ERROR: unexpected failure!!!");
    }
    return -2 & 0xFF;
}
