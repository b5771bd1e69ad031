#include <gtest/gtest.h>

#include "edit/layer_merge.h"

namespace vl::edit {
namespace {

using filters::kGlowBlendModes;

TEST(LayerMergeTest, ModesLabelsAndMasks) {
  const char* labels[] = {"Normal", "Add", "Substract", "Multiply", "Divide", "Screen", "Dodge", "Burn"};
  LayerMergeClass all;
  ASSERT_EQ(all.Entries().size(), 8u);
  for (int i = 0; i < 8; ++i) {
    EXPECT_STREQ(all.Entries()[i].label, labels[i]);
    EXPECT_EQ(all.Entries()[i].value, 1u << i);
  }
  EXPECT_TRUE(all.OpacityShown());
  EXPECT_EQ(all.Value(), 1u);

  LayerMergeClass glow(kGlowBlendModes, false);
  EXPECT_EQ(kGlowBlendModes, 34u);
  ASSERT_EQ(glow.Entries().size(), 2u);
  EXPECT_STREQ(glow.Entries()[0].label, "Add");
  EXPECT_STREQ(glow.Entries()[1].label, "Screen");
  EXPECT_FALSE(glow.OpacityShown());
  EXPECT_EQ(glow.Value(), 2u);
  EXPECT_TRUE(glow.SetActiveIndex(1));
  EXPECT_EQ(glow.Value(), 32u);
  // Modes outside the mask cannot be picked, by position or by value.
  EXPECT_FALSE(glow.SetActiveIndex(2));
  EXPECT_FALSE(glow.SetValue(kBlendMultiply));
  EXPECT_FALSE(glow.SetValue(kBlendNormal));
  EXPECT_EQ(glow.Value(), 32u);
  EXPECT_TRUE(glow.SetValue(kBlendAdd));
  EXPECT_EQ(glow.ActiveIndex(), 0);

  // A mask without any of the eight bits offers all of them.
  EXPECT_EQ(LayerMergeClass(0x100).Entries().size(), 8u);
  EXPECT_FALSE(all.SetOpacity(101));
  EXPECT_TRUE(all.SetOpacity(40));
  EXPECT_EQ(all.Opacity(), 40);

  EXPECT_TRUE(BlendHasPixelRule(kBlendAdd));
  EXPECT_TRUE(BlendHasPixelRule(kBlendMultiply));
  EXPECT_TRUE(BlendHasPixelRule(kBlendScreen));
  EXPECT_FALSE(BlendHasPixelRule(kBlendNormal));
  EXPECT_FALSE(BlendHasPixelRule(kBlendDodge));
}

}  // namespace
}  // namespace vl::edit
