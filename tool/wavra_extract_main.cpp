#include "tool/InterruptSignals.h"
#include "tool/ToolMain.h"

int main(int argc, char** argv) {
    ignoreWriteFailureSignals();
    return runTool(argc, argv);
}
