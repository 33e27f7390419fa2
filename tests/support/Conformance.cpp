#include "Conformance.h"

#include <fstream>

namespace testsupport {

std::string conformanceDir() { return std::string(WAVRA_CONFORMANCE_DIR) + "/"; }

std::vector<std::string> conformanceNames() {
    std::vector<std::string> names;
    std::ifstream manifest(conformanceDir() + "MANIFEST.txt");
    std::string line;
    while (std::getline(manifest, line)) {
        if (line.empty() || line[0] == '#') continue;
        const size_t end = line.find(".wvr");
        if (end != std::string::npos) names.push_back(line.substr(0, end));
    }
    return names;
}

}  // namespace testsupport
