#include "maker/SafeText.h"

#include <gtest/gtest.h>

namespace vorn {
namespace {

TEST(SafeText, PrintableLineKeepsUtf8AndEscapesControlsAndBrokenBytes) {
    EXPECT_EQ(printableLine("a\nb\tc\x7F"), "a\\x0Ab\\x09c\\x7F");
    EXPECT_EQ(printableLine("Größe"), "Größe");
    // A lone continuation byte, an overlong slash and a cut sequence are not text.
    EXPECT_EQ(printableLine("\x80/\xC0\xAF/\xE2\x82"), "\\x80/\\xC0\\xAF/\\xE2\\x82");
    // A surrogate half encoded in UTF-8 is no character either.
    EXPECT_EQ(printableLine("\xED\xA0\x80"), "\\xED\\xA0\\x80");
}

TEST(SafeText, PrintableLineIsCutAtItsLimit) {
    EXPECT_EQ(printableLine("abcdef", 3), "abc...");
    EXPECT_EQ(printableLine("abc", 3), "abc");
    // A character the limit splits is escaped byte by byte, never left half.
    EXPECT_EQ(printableLine("ab\xC3\xB6", 3), "ab\\xC3...");
}

TEST(SafeText, JsonStringsCannotEndAScriptOrBreakTheirQuotes) {
    EXPECT_EQ(jsonString("a\"b\\c"), "\"a\\\"b\\\\c\"");
    EXPECT_EQ(jsonString("</script><!--&"), "\"\\u003C/script\\u003E\\u003C!--\\u0026\"");
    EXPECT_EQ(jsonString("\n\x01\x7F"), "\"\\u000A\\u0001\\u007F\"");
    EXPECT_EQ(jsonString(std::string_view("a\0b", 3)), "\"a\\u0000b\"");
}

TEST(SafeText, JsonStringsKeepUtf8AndReplaceBrokenBytes) {
    EXPECT_EQ(jsonString("Größe"), "\"Größe\"");
    EXPECT_EQ(jsonString("\x80x\xC0\xAF"), "\"\\uFFFDx\\uFFFD\\uFFFD\"");
    EXPECT_EQ(jsonString(""), "\"\"");
}

}  // namespace
}  // namespace vorn
