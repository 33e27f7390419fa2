#include "tool/InterruptSignals.h"
#include "tool/ToolMain.h"

int main(int argc, char** argv) {
    ignoreFileSizeSignal();
    return runTool(argc, argv);
}
