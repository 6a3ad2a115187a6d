// The painted review: flags visible as hatched grey, findings in their
// colour, the colour bar running from the low to the high end, the sheet's
// flagged panels tinted, and a PDF drawn in vectors.
#include <gtest/gtest.h>

#include <QImage>

#include "desktop/review_painter.hpp"
#include "review/review_layout.hpp"
#include "review_support.hpp"

namespace mapari::review_tests {

using namespace review;
namespace {

// The hand-made record with a saved beat: every lead k % 50 at sample k.
ReviewData hand_made_review_with_beat() {
    ReviewData data = hand_made_review();
    BeatTraces beat;
    for (int l = 1; l <= lead_count; ++l)
        for (int k = 1; k <= averaged_rows; ++k) beat.values.push_back(k % 50);
    data.beat = beat;
    return data;
}

class ReviewPictures : public ::testing::Test {
  protected:
    ReviewPicture picture_ = lay_out_review(hand_made_review_with_beat());
    QImage image_ = qt::render_review_image(picture_);

    // The colours in the lower right quarter of a box, an edge of 3 pixels left out
    // (the cell's text is at its centre and top left).
    std::vector<QRgb> corner_colours(const Box& box) const {
        std::vector<QRgb> colours;
        for (int y = static_cast<int>(box.top + box.height * 0.75); y < box.bottom() - 3; ++y)
            for (int x = static_cast<int>(box.left + box.width * 0.75); x < box.right() - 3; ++x)
                colours.push_back(image_.pixel(x, y));
        return colours;
    }
};

bool is_grey(QRgb colour) {
    return qRed(colour) == qGreen(colour) && qGreen(colour) == qBlue(colour);
}

TEST_F(ReviewPictures, PictureHasTheLaidOutSize) {
    EXPECT_EQ(image_.width(), static_cast<int>(picture_.width));
    EXPECT_EQ(image_.height(), static_cast<int>(picture_.height));
}

TEST_F(ReviewPictures, FlaggedCellIsHatchedGrey) {
    // Lead 1 on the activation map: AT = 0.
    const std::vector<QRgb> colours = corner_colours(picture_.maps[0].cells[0].box);
    ASSERT_FALSE(colours.empty());
    EXPECT_TRUE(std::all_of(colours.begin(), colours.end(), is_grey));
    // Hatching: light ground and dark lines both show.
    EXPECT_TRUE(std::any_of(colours.begin(), colours.end(), [](QRgb c) { return qRed(c) >= 190; }));
    EXPECT_TRUE(std::any_of(colours.begin(), colours.end(), [](QRgb c) { return qRed(c) <= 140; }));
}

TEST_F(ReviewPictures, FindingIsPaintedInItsColour) {
    // Lead 4 on the activation map: AT = 40, a finding.
    const MapCell& cell = picture_.maps[0].cells[3];
    const QRgb expected = qRgb(cell.fill.red, cell.fill.green, cell.fill.blue);
    for (QRgb colour : corner_colours(cell.box)) ASSERT_EQ(colour, expected);
}

// A bad lead's cell: the 3-pixel line just inside its edge is dark, its
// inside keeps its colour. Lead 4 outlined, lead 5 beside it not.
TEST(ReviewOutline, ABadLeadsCellIsOutlinedInDarkInk) {
    ReviewData data = hand_made_review();
    data.bad_leads[3] = true;
    const ReviewPicture picture = lay_out_review(data);
    const QImage image = qt::render_review_image(picture);
    for (int lead : {4, 5}) {
        SCOPED_TRACE("lead " + std::to_string(lead));
        const MapCell& cell = picture.maps[0].cells[static_cast<std::size_t>(lead - 1)];
        ASSERT_EQ(cell.outlined, lead == 4);
        const int y = static_cast<int>(cell.box.top + cell.box.height * 0.8);
        const QRgb edge = image.pixel(static_cast<int>(cell.box.left) + 2, y);
        const QRgb inside = image.pixel(static_cast<int>(cell.box.left) + 8, y);
        EXPECT_EQ(qRed(edge) <= 40 && qGreen(edge) <= 40 && qBlue(edge) <= 40, lead == 4);
        EXPECT_EQ(inside, qRgb(cell.fill.red, cell.fill.green, cell.fill.blue));
    }
}

TEST_F(ReviewPictures, ColourBarRunsFromTheLowEndUp) {
    const Box& bar = picture_.maps[0].bar.box;
    const int x = static_cast<int>(bar.left + bar.width / 2);
    const QRgb top = image_.pixel(x, static_cast<int>(bar.top) + 2);
    const QRgb bottom = image_.pixel(x, static_cast<int>(bar.bottom()) - 3);
    auto near = [](QRgb pixel, Rgb colour) {
        return std::abs(qRed(pixel) - colour.red) <= 12 &&
               std::abs(qGreen(pixel) - colour.green) <= 12 &&
               std::abs(qBlue(pixel) - colour.blue) <= 12;
    };
    EXPECT_TRUE(near(top, viridis(1.0))) << std::hex << top;
    EXPECT_TRUE(near(bottom, viridis(0.0))) << std::hex << bottom;
}

TEST_F(ReviewPictures, SheetPanelOfAFlaggedLeadIsTinted) {
    const auto& panels = picture_.sheet->panels;
    // Just inside the bottom right corner of the panels of lead 1 (flagged) and lead 4.
    auto corner = [&](int lead) {
        const Box& box = panels[static_cast<std::size_t>(lead - 1)].box;
        return image_.pixel(static_cast<int>(box.right()) - 3, static_cast<int>(box.bottom()) - 3);
    };
    EXPECT_EQ(corner(4), qRgb(255, 255, 255));
    EXPECT_NE(corner(1), qRgb(255, 255, 255));
    EXPECT_FALSE(is_grey(corner(1)));
}

TEST_F(ReviewPictures, PdfIsDrawnNotPasted) {
    const QByteArray pdf = qt::review_pdf(picture_);
    ASSERT_TRUE(pdf.startsWith("%PDF-"));
    EXPECT_FALSE(pdf.contains("/Subtype /Image"));
    EXPECT_TRUE(pdf.contains("/Title"));
}

TEST_F(ReviewPictures, PngBytesAreThePicture) {
    QImage read;
    ASSERT_TRUE(read.loadFromData(qt::review_png(picture_), "PNG"));
    EXPECT_EQ(read.convertToFormat(QImage::Format_RGB32), image_);
}

}  // namespace
}  // namespace mapari::review_tests
