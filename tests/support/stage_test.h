// The fixture of the generator's stage tests: each test gets a world and a
// generator context of its own, fresh and all zero, with the generator seeded
// with 0 and stages running on two threads.
#pragma once

#include <gtest/gtest.h>

#include <memory>

#include "generator/generator_context.h"
#include "world/voxel_world.h"

namespace vormap {

class StageTest : public ::testing::Test {
 protected:
  std::unique_ptr<voxel_world> world_storage = voxel_world::create();
  std::unique_ptr<generator_context> context_storage =
      std::make_unique<generator_context>(*world_storage, 0, false, 2);
  voxel_world& world = *world_storage;
  generator_context& ctx = *context_storage;
};

}  // namespace vormap
