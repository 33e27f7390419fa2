// Every test in this program may convert pixels through the transformer
// registry, as the programs do after start-up; register the standard
// factories once, before any test runs, so tests also pass when run alone.

#include "imaging/transform/TransformerRegistry.h"

#include <gtest/gtest.h>

namespace {

class StandardFactoriesEnvironment : public ::testing::Environment {
public:
    void SetUp() override { Lumetra::registerStandardFactories(); }
};

const auto* const kRegistered = ::testing::AddGlobalTestEnvironment(new StandardFactoriesEnvironment);

}  // namespace
