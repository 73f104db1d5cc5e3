// The rules of a person's review: what drawing, selecting, removing, copying and marking a
// picture reviewed do to the boxes file, and the progress over the stretch.
#include <gtest/gtest.h>

#include "redact/review.h"

namespace rovena::redact {
namespace {

// Three pictures of a.m1v starting at bytes 100, 200, 300; one detected plate on picture 1
// and an unrelated box on another recording.
ReviewSession Session() {
  BoxFile file;
  file.boxes = {{{"a.m1v", 1}, {10, 10, 40, 20}, BoxKind::Plate, BoxOrigin::Detected, false},
                {{"b.m1v", 1}, {0, 0, 5, 5}, BoxKind::Face, BoxOrigin::Detected, false}};
  return ReviewSession(file, {{{"a.m1v", 1}, 100}, {{"a.m1v", 2}, 200}, {{"a.m1v", 3}, 300}});
}

TEST(Review, EditsApplyToThePictureShownOnly) {
  ReviewSession s = Session();
  EXPECT_FALSE(s.Show("a.m1v", 150)) << "no picture starts there";
  EXPECT_FALSE(s.Draw({0, 0, 10, 10}, BoxKind::Face, 640, 480));
  EXPECT_FALSE(s.MarkReviewed());
  EXPECT_FALSE(s.Show("b.m1v", 100)) << "same position, another recording";
  ASSERT_TRUE(s.Show("a.m1v", 100));
  EXPECT_EQ(*s.Current(), (PictureRef{"a.m1v", 1}));
  EXPECT_EQ(s.CurrentBoxes(), std::vector<std::size_t>{0});
  EXPECT_FALSE(s.Unsaved());

  // A box drawn past the picture's edge is clipped to it, drawn and confirmed, and selected.
  ASSERT_TRUE(s.Draw({600, 470, 100, 30}, BoxKind::Face, 640, 480));
  EXPECT_EQ(s.File().boxes.back(), (Box{{"a.m1v", 1}, {600, 470, 40, 10}, BoxKind::Face, BoxOrigin::Drawn, true}));
  EXPECT_EQ(s.Selected(), 2u);
  EXPECT_TRUE(s.Unsaved());
  EXPECT_FALSE(s.Draw({639, 0, 5, 5}, BoxKind::Face, 640, 480)) << "a sliver left after clipping is no box";

  // A click selects the innermost box under it, or clears the selection.
  ASSERT_TRUE(s.Draw({15, 12, 10, 10}, BoxKind::Other, 640, 480));
  EXPECT_TRUE(s.SelectAt(20, 15));
  EXPECT_EQ(s.Selected(), 3u);
  EXPECT_TRUE(s.SelectAt(45, 25));
  EXPECT_EQ(s.Selected(), 0u);
  EXPECT_TRUE(s.SetSelectedKind(BoxKind::Other));
  EXPECT_EQ(s.File().boxes[0].kind, BoxKind::Other);
  EXPECT_FALSE(s.SelectAt(300, 300));
  EXPECT_FALSE(s.RemoveSelected());
  ASSERT_TRUE(s.SelectAt(45, 25));
  ASSERT_TRUE(s.RemoveSelected());
  EXPECT_EQ(s.File().boxes.size(), 3u);
  EXPECT_EQ(s.File().boxes[0].where.recording, "b.m1v") << "the other recording's box is kept";

  // Moving to another picture clears the selection.
  ASSERT_TRUE(s.SelectAt(610, 475));
  s.Show("a.m1v", 200);
  EXPECT_FALSE(s.Selected());
  EXPECT_TRUE(s.CurrentBoxes().empty());
}

TEST(Review, CopyingMarkingAndProgress) {
  ReviewSession s = Session();
  s.Show("a.m1v", 100);
  EXPECT_EQ(s.CopyPrevious(), 0) << "the first picture has none before it";
  EXPECT_TRUE(s.MarkReviewed());
  EXPECT_TRUE(s.File().boxes[0].confirmed) << "a proposal left on a reviewed picture is accepted";
  EXPECT_FALSE(s.File().boxes[1].confirmed);
  EXPECT_TRUE(s.MarkReviewed());
  EXPECT_EQ(s.File().reviewed.size(), 1u) << "a picture is listed once";
  EXPECT_EQ(s.ReviewedCount(), 1);
  EXPECT_EQ(s.PictureCount(), 3);

  s.Show("a.m1v", 200);
  EXPECT_EQ(s.CopyPrevious(), 1);
  EXPECT_EQ(s.CopyPrevious(), 0) << "not copied twice";
  const Box& copy = s.File().boxes.back();
  EXPECT_EQ(copy, (Box{{"a.m1v", 2}, {10, 10, 40, 20}, BoxKind::Plate, BoxOrigin::Drawn, true}));
  EXPECT_FALSE(s.AtLastPicture());
  s.Show("a.m1v", 300);
  EXPECT_TRUE(s.AtLastPicture());
  s.MarkReviewed();
  EXPECT_EQ(s.ReviewedCount(), 2);
  s.Saved();
  EXPECT_FALSE(s.Unsaved());

  // Pictures reviewed earlier, outside this stretch, do not count towards its progress.
  BoxFile earlier;
  earlier.reviewed = {{"a.m1v", 9}, {"a.m1v", 2}};
  EXPECT_EQ(ReviewSession(earlier, {{{"a.m1v", 1}, 100}, {{"a.m1v", 2}, 200}}).ReviewedCount(), 1);
}

}  // namespace
}  // namespace rovena::redact
