#pragma once
// Include from exactly one file of a test program whose tests convert pixels
// through the transformer registry: registers the standard factories once,
// before any test runs, as the programs do at start-up, so that every test
// also passes when run alone.

#include <gtest/gtest.h>

#include "imaging/transform/TransformerRegistry.h"

namespace testsupport {

class StandardFactoriesEnvironment : public ::testing::Environment {
public:
    void SetUp() override { Lumetra::registerStandardFactories(); }
};

inline ::testing::Environment* const kStandardFactories =
    ::testing::AddGlobalTestEnvironment(new StandardFactoriesEnvironment);

}  // namespace testsupport
