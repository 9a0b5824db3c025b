#include <gtest/gtest.h>

#include "platform/foundation/error.h"
#include "platform/ui/content_mode.h"
#include "platform/ui/view.h"
#include "ui_test_support.h"

namespace lorvane {
namespace {

using testing::UiTest;

TEST(ViewGeometry, FrameCentreAndBoundsStayConsistent) {
  auto v = std::make_shared<View>(Rect{10, 20, 100, 50});
  EXPECT_EQ(v->center(), (Point{60, 45}));
  EXPECT_EQ(v->bounds(), (Rect{0, 0, 100, 50}));
  v->setCenter({100, 100});
  EXPECT_EQ(v->frame(), (Rect{50, 75, 100, 50}));
  v->setBounds({0, 0, 40, 40});
  EXPECT_EQ(v->frame(), (Rect{80, 80, 40, 40}));
}

TEST(ViewGeometry, RotationTurnsAboutTheCentre) {
  auto v = std::make_shared<View>(Rect{0, 0, 320, 568});
  v->setTransform(AffineTransform::rotation(kPi / 2));
  v->setBounds({0, 0, 568, 320});
  // The platform's landscape root: bounds 568 x 320, frame still the screen.
  EXPECT_TRUE(nearlyEqual(v->frame(), Rect{0, 0, 320, 568}));
  EXPECT_EQ(v->center(), (Point{160, 284}));
  // A quarter turn clockwise: the bounds' top-left lands at the screen's top-right.
  auto child = std::make_shared<View>(Rect{0, 0, 10, 10});
  v->addSubview(child);
  Point p = child->convertPointToView({0, 0}, nullptr);
  EXPECT_NEAR(p.x, 320, 1e-9);
  EXPECT_NEAR(p.y, 0, 1e-9);
  Point back = child->convertPointFromView(p, nullptr);
  EXPECT_NEAR(back.x, 0, 1e-9);
  EXPECT_NEAR(back.y, 0, 1e-9);
}

TEST(ViewGeometry, BoundsOriginShiftsSubviews) {
  auto scroller = std::make_shared<View>(Rect{0, 100, 320, 200});
  auto content = std::make_shared<View>(Rect{0, 300, 50, 50});
  scroller->addSubview(content);
  scroller->setBounds({0, 250, 320, 200});
  Point p = content->convertPointToView({0, 0}, nullptr);
  EXPECT_EQ(p, (Point{0, 150}));
  EXPECT_EQ(scroller->convertRectFromView(Rect{0, 150, 50, 50}, nullptr), (Rect{0, 300, 50, 50}));
}

TEST(ViewGeometry, AutoresizingFollowsTheMask) {
  auto parent = std::make_shared<View>(Rect{0, 0, 320, 480});
  auto stretchy = std::make_shared<View>(Rect{10, 10, 300, 100});
  stretchy->setAutoresizingMask(AutoresizingFlexibleWidth);
  auto pinnedBottom = std::make_shared<View>(Rect{0, 435, 320, 45});
  pinnedBottom->setAutoresizingMask(AutoresizingFlexibleTopMargin);
  auto centred = std::make_shared<View>(Rect{110, 190, 100, 100});
  centred->setAutoresizingMask(AutoresizingFlexibleLeftMargin | AutoresizingFlexibleRightMargin |
                               AutoresizingFlexibleTopMargin | AutoresizingFlexibleBottomMargin);
  auto fixed = std::make_shared<View>(Rect{5, 5, 20, 20});
  for (auto& v : {stretchy, pinnedBottom, centred, fixed}) parent->addSubview(v);
  parent->setFrame({0, 0, 320, 568});
  EXPECT_EQ(stretchy->frame(), (Rect{10, 10, 300, 100}));
  EXPECT_EQ(pinnedBottom->frame(), (Rect{0, 523, 320, 45}));
  EXPECT_EQ(centred->frame(), (Rect{110, 234, 100, 100}));
  EXPECT_EQ(fixed->frame(), (Rect{5, 5, 20, 20}));
  parent->setFrame({0, 0, 375, 568});
  EXPECT_EQ(stretchy->frame(), (Rect{10, 10, 355, 100}));
  EXPECT_NEAR(centred->frame().midX(), 187.5, 1e-9);
}

TEST(ViewTree, SubviewOrderTagsAndMoves) {
  auto root = std::make_shared<View>();
  auto a = std::make_shared<View>(), b = std::make_shared<View>(), c = std::make_shared<View>();
  a->setTag(1);
  b->setTag(2);
  c->setTag(3);
  root->addSubview(a);
  root->addSubview(b);
  root->insertSubviewBelow(c, a.get());
  ASSERT_EQ(root->subviews().size(), 3u);
  EXPECT_EQ(root->subviews()[0], c);
  root->bringSubviewToFront(c.get());
  EXPECT_EQ(root->subviews().back(), c);
  root->sendSubviewToBack(b.get());
  EXPECT_EQ(root->subviews().front(), b);
  auto deep = std::make_shared<View>();
  deep->setTag(77);
  b->addSubview(deep);
  EXPECT_EQ(root->viewWithTag(77), deep.get());
  EXPECT_EQ(root->viewWithTag(99), nullptr);
  EXPECT_TRUE(deep->isDescendantOfView(root.get()));
  // Adding to another parent moves the view.
  a->addSubview(deep);
  EXPECT_TRUE(b->subviews().empty());
  EXPECT_EQ(deep->superview(), a.get());
  deep->removeFromSuperview();
  EXPECT_EQ(deep->superview(), nullptr);
  a->addSubview(deep);
  EXPECT_THROW(deep->addSubview(root), Exception);
}

class LayoutCounter : public View {
 public:
  int layouts = 0;
  void layoutSubviews() override { ++layouts; }
};

TEST(ViewLayout, LayoutRunsOncePerRequestTopDown) {
  auto parent = std::make_shared<LayoutCounter>();
  auto child = std::make_shared<LayoutCounter>();
  parent->addSubview(child);
  parent->layoutIfNeeded();
  EXPECT_EQ(parent->layouts, 1);
  EXPECT_EQ(child->layouts, 1);
  parent->layoutIfNeeded();
  EXPECT_EQ(parent->layouts, 1);
  child->setFrame({0, 0, 10, 10});  // a size change asks for a new layout
  parent->layoutIfNeeded();
  EXPECT_EQ(parent->layouts, 1);
  EXPECT_EQ(child->layouts, 2);
  child->setCenter({50, 50});  // a move alone does not
  parent->layoutIfNeeded();
  EXPECT_EQ(child->layouts, 2);
}

TEST(ContentModes, PlacePicturesInBounds) {
  Rect b{0, 0, 200, 100};
  EXPECT_EQ(contentRect(b, {50, 50}, ContentMode::ScaleToFill), b);
  EXPECT_EQ(contentRect(b, {50, 50}, ContentMode::ScaleAspectFit), (Rect{50, 0, 100, 100}));
  EXPECT_EQ(contentRect(b, {50, 50}, ContentMode::ScaleAspectFill), (Rect{0, -50, 200, 200}));
  EXPECT_EQ(contentRect(b, {50, 20}, ContentMode::Center), (Rect{75, 40, 50, 20}));
  EXPECT_EQ(contentRect(b, {50, 20}, ContentMode::BottomRight), (Rect{150, 80, 50, 20}));
  EXPECT_EQ(contentRect(b, {50, 20}, ContentMode::Top), (Rect{75, 0, 50, 20}));
}

TEST(AffineTransforms, ConcatInvertAndDecompose) {
  auto t = AffineTransform::rotation(kPi / 2).translated(10, 0);
  Point p = t.apply({1, 0});
  // Translate first, then rotate a quarter turn: (11, 0) -> (0, 11).
  EXPECT_NEAR(p.x, 0, 1e-9);
  EXPECT_NEAR(p.y, 11, 1e-9);
  Point q = t.inverted().apply(p);
  EXPECT_NEAR(q.x, 1, 1e-9);
  EXPECT_NEAR(q.y, 0, 1e-9);
  EXPECT_NEAR(AffineTransform::rotation(0.3).scaled(2, 2).scaleX(), 2, 1e-9);
  EXPECT_NEAR(AffineTransform::rotation(0.3).rotationAngle(), 0.3, 1e-9);
  EXPECT_EQ(AffineTransform::scale(0, 0).inverted(), AffineTransform::identity());
}

}  // namespace
}  // namespace lorvane
