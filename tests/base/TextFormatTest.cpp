#include "base/TextFormat.h"

#include <gtest/gtest.h>

#include <string>

namespace vorn {
namespace {

TEST(TextFormat, HtmlEscapesEveryCharacterThatOpensMarkupOrEndsAnAttribute) {
    EXPECT_EQ(escapeHtml("<script>alert('x')</script> & \"q\""),
              "&lt;script&gt;alert(&#39;x&#39;)&lt;/script&gt; &amp; &quot;q&quot;");
    EXPECT_EQ(escapeHtml("Stick Größe 16GB"), "Stick Größe 16GB");
}

// A text longer than the short buffer is kept whole, not cut.
TEST(TextFormat, FormattedTextIsAsLongAsItNeeds) {
    EXPECT_EQ(formatted("%1.2f MB/s, %u IOPS", 45.2, 1299u), "45.20 MB/s, 1299 IOPS");
    const std::string name(300, 'x');
    const std::string text = formatted("Drive %s: %d", name.c_str(), 7);
    EXPECT_EQ(text, "Drive " + name + ": 7");
    EXPECT_EQ(formatted("%s", ""), "");
}

}  // namespace
}  // namespace vorn
