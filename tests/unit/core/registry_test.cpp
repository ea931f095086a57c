#include "core/registry.h"

#include <gtest/gtest.h>

namespace brovana {
namespace {

TEST(MemoryRegistry, KeysExistOnceCreatedWithTheirParents) {
  MemoryRegistry registry;
  EXPECT_EQ(registry.open("Software\\Zelvora\\Live\\default"), nullptr);
  auto key = registry.create("Software\\Zelvora\\Live\\default");
  ASSERT_TRUE(key);
  EXPECT_TRUE(registry.open("Software\\Zelvora\\Live"));
  EXPECT_TRUE(registry.open("Software"));
  EXPECT_FALSE(registry.open("Software\\Zelvora\\Mirobeam"));
}

TEST(MemoryRegistry, MissingValueReadsAsEmptyText) {
  MemoryRegistry registry;
  auto key = registry.create("k");
  EXPECT_EQ(key->query("name"), std::nullopt);
  EXPECT_EQ(key->text("name"), "");
  key->set("name", "value");
  EXPECT_EQ(registry.open("k")->text("name"), "value");
}

}  // namespace
}  // namespace brovana
