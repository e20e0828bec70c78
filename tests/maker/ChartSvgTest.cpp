#include "maker/ChartSvg.h"

#include <gtest/gtest.h>

#include <regex>

#include "results/RunSteps.h"
#include "view/ChartFiles.h"

namespace vorn::test {
namespace {

struct Rect {
    double y;
    double height;
    std::string fill;
    std::string hint;
};

std::vector<Rect> rects(const std::string& svg) {
    const std::regex rect(
        "<rect x=\"[^\"]+\" y=\"([^\"]+)\" width=\"[^\"]+\" height=\"([^\"]+)\" "
        "fill=\"([^\"]+)\"><title>([^<]*)</title></rect>");
    std::vector<Rect> out;
    for (auto it = std::sregex_iterator(svg.begin(), svg.end(), rect); it != std::sregex_iterator();
         ++it) {
        out.push_back({std::stod((*it)[1]), std::stod((*it)[2]), (*it)[3], (*it)[4]});
    }
    return out;
}

TEST(ChartSvg, BarsStandOnTheAxisInProportionAndGapsStayEmpty) {
    SvgBarChart chart;
    chart.title = "Speeds";
    chart.categories = {"2k", "4k", "8k"};
    chart.series = {{0xFF0000, {10.0, std::nullopt, 5.0}, {}},
                    {0x0000FF, {20.0, 2.5, std::nullopt}, {"", "own hint", ""}}};
    chart.axisMax = 20.0;
    const std::vector<Rect> bars = rects(barChartSvg(chart));
    ASSERT_EQ(bars.size(), 4u);  // two places are empty
    // Category by category, series by series.
    EXPECT_EQ(bars[0].fill, "#FF0000");
    EXPECT_EQ(bars[1].fill, "#0000FF");
    EXPECT_EQ(bars[0].hint, "10.00 MB/s");
    EXPECT_EQ(bars[2].hint, "own hint");
    // The full-scale bar is twice the half-scale one, every bar ending on one base line.
    EXPECT_NEAR(bars[1].height, 2 * bars[0].height, 0.11);
    EXPECT_NEAR(bars[1].height, 4 * bars[3].height, 0.21);
    for (const Rect& bar : bars) {
        EXPECT_NEAR(bar.y + bar.height, bars[1].y + bars[1].height, 0.11);
    }
}

TEST(ChartSvg, ValuesPastTheAxisAreDrawnToTheTopAndTextIsEscaped) {
    SvgBarChart chart;
    chart.title = "<b>\"t\"</b>";
    chart.categories = {"<i>"};
    chart.series = {{0x008000, {50.0}, {"<script>"}}};
    chart.axisMax = 10.0;
    const std::string svg = barChartSvg(chart);
    EXPECT_EQ(svg.find("<b>"), std::string::npos);
    EXPECT_EQ(svg.find("<i>"), std::string::npos);
    EXPECT_EQ(svg.find("<script>"), std::string::npos);
    EXPECT_NE(svg.find("&lt;b&gt;&quot;t&quot;&lt;/b&gt;"), std::string::npos);
    const std::vector<Rect> bars = rects(svg);
    ASSERT_EQ(bars.size(), 1u);
    EXPECT_EQ(bars[0].fill, "#008000");
    chart.series[0].values = {10.0};
    EXPECT_NEAR(rects(barChartSvg(chart))[0].height, bars[0].height, 1e-9);
}

class ChartSvgModel : public ChartFilesTest {};

TEST_F(ChartSvgModel, ChartsOfAModelHaveItsCategoriesColoursAndAxis) {
    const ChartModel model = build({sampleResult("A", {3000000, 5000000}, {1000000}),
                                    extendedSample("B", {40000000, 0, 8000000}, {30000000})});
    const SvgBarChart read = speedChart(model, false);
    EXPECT_EQ(read.categories, (std::vector<std::string>{"2k", "4k"}));
    EXPECT_EQ(read.axisMax, model.axisMax);
    ASSERT_EQ(read.series.size(), 2u);
    EXPECT_EQ(read.series[0].rgb, bgrToRgb(driveColours[0]));
    EXPECT_EQ(read.series[1].rgb, bgrToRgb(driveColours[1]));
    EXPECT_NEAR(*read.series[0].values[1], 5.0, 1e-6);
    const SvgBarChart write = speedChart(model, true);
    EXPECT_EQ(write.categories, (std::vector<std::string>{"2k", "4k"}));
    EXPECT_FALSE(write.series[0].values[1].has_value());  // A wrote one size only

    const SvgBarChart extended = extendedChart(model, false);
    EXPECT_EQ(extended.categories, extendedCategories());
    EXPECT_EQ(extended.axisMax, model.extendedAxisMax);
    EXPECT_FALSE(extended.series[0].values[0].has_value());
    EXPECT_NEAR(*extended.series[1].values[0], 40.0, 1e-6);
    EXPECT_FALSE(extended.series[1].values[1].has_value());
    EXPECT_EQ(extended.series[1].hints[2], extendedHintText(model.devices[1].extendedReadBars[1]));
    EXPECT_EQ(rects(barChartSvg(extended)).size(), 2u);
}

}  // namespace
}  // namespace vorn::test
