#pragma once
// A fresh directory for one codec test, removed with everything in it
// afterwards, and a count of the files left in it.

#include "support/ScratchDir.h"

namespace codectest {

class ScratchDir : public testsupport::ScratchDir {
public:
    ScratchDir() : testsupport::ScratchDir("wx_codec") {}
};

using testsupport::fileExists;

}  // namespace codectest
