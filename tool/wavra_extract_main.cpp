#include "tool/InterruptSignals.h"
#include "tool/MemoryReuse.h"
#include "tool/ToolMain.h"

int main(int argc, char** argv) {
    ignoreWriteFailureSignals();
    keepFreedMemoryForReuse();
    return runTool(argc, argv);
}
