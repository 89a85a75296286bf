#include <new>

#include "driver/run_sequence.h"
#include "platform/console.h"

int main(int argc, char** argv) {
    try {
        return RunConversion(argc, argv) & 0xFF;
    } catch (const std::bad_alloc&) {
        ConsolePrint("ERROR: out of memory!!!");
    } catch (...) {
        ConsolePrint("ERROR: unexpected failure!!!");
    }
    return -2 & 0xFF;
}
