#include "base/text_list.h"

#include <gtest/gtest.h>

#include <string>

namespace quillon {
namespace {

TEST(TextList, KeepsEveryTextInOrderBeyond255) {
  TextList list;
  EXPECT_EQ(0, list.Count());
  for (int i = 0; i < 1000; ++i) list.Add(("C:\\work\\file" + std::to_string(i) + ".txt").c_str());
  list.Add("");
  ASSERT_EQ(1001, list.Count());
  EXPECT_STREQ("C:\\work\\file0.txt", list.At(0));
  EXPECT_STREQ("C:\\work\\file255.txt", list.At(255));
  EXPECT_STREQ("C:\\work\\file999.txt", list.At(999));
  EXPECT_STREQ("", list.At(1000));
  list.Clear();
  EXPECT_EQ(0, list.Count());
  list.Add("again");
  EXPECT_STREQ("again", list.At(0));
  list.Clear();
}

}  // namespace
}  // namespace quillon
