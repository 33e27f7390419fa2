#pragma once
// A fresh directory for one test, removed with everything in it afterwards.

#include "support/ScratchDir.h"

namespace coretest {

class ScratchDir : public testsupport::ScratchDir {
public:
    ScratchDir() : testsupport::ScratchDir("wx_core") {}
};

using testsupport::fileExists;

}  // namespace coretest
