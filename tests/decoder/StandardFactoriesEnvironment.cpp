// Registers the standard colour transformers before the tests run.
#include "support/StandardFactoriesEnvironment.h"
