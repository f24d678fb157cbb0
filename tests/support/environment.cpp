// Registers the services once before any test runs, as the launcher does at start-up.
#include <gtest/gtest.h>

#include "services/core/service.h"

namespace {

class ServicesEnvironment : public ::testing::Environment {
 public:
  void SetUp() override {
    (void)sfx::RegisterCoreServices();
    (void)sfx::RegisterCodecServices();
  }
};

const auto* const g_environment = ::testing::AddGlobalTestEnvironment(new ServicesEnvironment);

}  // namespace
