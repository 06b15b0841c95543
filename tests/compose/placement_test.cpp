#include <gtest/gtest.h>

#include <cmath>

#include "media/placement.h"
#include "project/project.h"

namespace {

Layer box(float x, float y, float w, float h, int scaling) {
  Layer l;
  l.kind = LayerKind::Image;
  l.x = x;
  l.y = y;
  l.width = w;
  l.height = h;
  l.scaling = scaling;
  return l;
}

void expectUv(const LayerPlacement& p, float u0, float v0, float u1, float v1) {
  EXPECT_FLOAT_EQ(p.u0, u0);
  EXPECT_FLOAT_EQ(p.v0, v0);
  EXPECT_FLOAT_EQ(p.u1, u1);
  EXPECT_FLOAT_EQ(p.v1, v1);
}

TEST(Placement, CropClampsLeftAndTopFirst) {
  Layer l = box(0, 0, 100, 100, ScalingMode::Stretch);
  l.crop = {0.95f, 0.0f, 0.5f, 0.0f};
  expectUv(computeLayerPlacement(l, 0, 0), 0.9f, 0.0f, 1.0f, 1.0f);

  l.crop = {0.5f, 0.2f, 0.6f, 0.9f};
  const LayerPlacement p = computeLayerPlacement(l, 0, 0);
  EXPECT_FLOAT_EQ(p.u0, 0.5f);
  EXPECT_NEAR(p.u1, 0.6f, 1e-6);
  EXPECT_FLOAT_EQ(p.v0, 0.2f);
  EXPECT_NEAR(p.v1, 0.3f, 1e-6);

  l.crop = {-0.3f, -1.0f, -0.1f, -5.0f};
  expectUv(computeLayerPlacement(l, 0, 0), 0, 0, 1, 1);
}

TEST(Placement, NanCropCountsAsNone) {
  Layer l = box(0, 0, 100, 100, ScalingMode::Fill);
  l.crop = {NAN, NAN, NAN, NAN};
  expectUv(computeLayerPlacement(l, 640, 480), 0.125f, 0.0f, 0.875f, 1.0f);
}

TEST(Placement, FitLetterboxesWideSourceInSquare) {
  const LayerPlacement p = computeLayerPlacement(box(0, 0, 480, 480, ScalingMode::Fit), 1920, 1080);
  EXPECT_FLOAT_EQ(p.x, 0);
  EXPECT_FLOAT_EQ(p.w, 480);
  EXPECT_FLOAT_EQ(p.h, 270);
  EXPECT_FLOAT_EQ(p.y, 105);
  expectUv(p, 0, 0, 1, 1);
}

TEST(Placement, FitPillarboxesTallSource) {
  const LayerPlacement p = computeLayerPlacement(box(100, 50, 400, 200, ScalingMode::Fit), 100, 100);
  EXPECT_FLOAT_EQ(p.w, 200);
  EXPECT_FLOAT_EQ(p.x, 200);
  EXPECT_FLOAT_EQ(p.y, 50);
  EXPECT_FLOAT_EQ(p.h, 200);
}

TEST(Placement, FillTrimsTheSourceAndKeepsTheRectangle) {
  const LayerPlacement p = computeLayerPlacement(box(10, 20, 480, 480, ScalingMode::Fill), 1920, 1080);
  EXPECT_FLOAT_EQ(p.x, 10);
  EXPECT_FLOAT_EQ(p.y, 20);
  EXPECT_FLOAT_EQ(p.w, 480);
  EXPECT_FLOAT_EQ(p.h, 480);
  expectUv(p, 0.21875f, 0, 0.78125f, 1);

  // A tall source loses its top and bottom instead.
  expectUv(computeLayerPlacement(box(0, 0, 1920, 1080, ScalingMode::Fill), 1080, 1920), 0, 0.341796875f, 1,
           0.658203125f);
}

TEST(Placement, EqualAspectsAndMissingSizesOnlyStretch) {
  for (int mode : {ScalingMode::Fit, ScalingMode::Fill}) {
    const LayerPlacement p = computeLayerPlacement(box(0, 0, 1920, 1080, mode), 1280, 720);
    EXPECT_FLOAT_EQ(p.w, 1920);
    EXPECT_FLOAT_EQ(p.h, 1080);
    expectUv(p, 0, 0, 1, 1);
  }
  Layer l = box(5, 6, 300, 100, ScalingMode::Fit);
  l.flipH = true;
  l.crop = {0.1f, 0, 0, 0};
  const LayerPlacement p = computeLayerPlacement(l, 0, 0);
  EXPECT_FLOAT_EQ(p.w, 300);
  expectUv(p, 1.0f, 0.0f, 0.1f, 1.0f);
}

TEST(Placement, CropDecidesTheFittedAspect) {
  // A 16:9 source cropped to a square fills a square box completely.
  Layer l = box(0, 0, 500, 500, ScalingMode::Fit);
  l.crop = {0.21875f, 0, 0.21875f, 0};
  const LayerPlacement p = computeLayerPlacement(l, 1920, 1080);
  EXPECT_NEAR(p.w, 500, 1e-3);
  EXPECT_NEAR(p.h, 500, 1e-3);
  EXPECT_NEAR(p.x, 0, 1e-3);
  EXPECT_NEAR(p.y, 0, 1e-3);
}

TEST(Placement, FlipsSwapAfterScaling) {
  Layer l = box(0, 0, 480, 480, ScalingMode::Fill);
  l.flipH = true;
  l.flipV = true;
  expectUv(computeLayerPlacement(l, 1920, 1080), 0.78125f, 1, 0.21875f, 0);
}

}  // namespace
