// The review picture as SVG text: every shape the painter draws, at the same
// places in the same inks, and every text as text (searchable, selectable,
// scaled without blur). Written without Qt, so that programs that do not link
// it (the batch's report) can draw the picture too.
//
// Texts are placed by their box as the painter places them: left, centred or
// right, at the top, middle or bottom. SVG has no word wrap, so the few texts
// that the painter wraps are broken at spaces where an estimate of their width
// (0.6 of the text size a character) passes their box.
//
// To check a result, open the file in a browser beside the PNG of the same
// picture; `xmllint --noout` says whether it is well-formed.
#pragma once

#include <string>
#include <string_view>

#include "review/review_layout.hpp"

namespace mapari::review {

// The whole picture as a standalone SVG document. Ids inside it (the hatching,
// the colour ramps) begin with id_prefix, so that several pictures can stand
// inline in one HTML page.
std::string svg_picture(const ReviewPicture& picture, std::string_view id_prefix = "");

// Only the picture's review sheet, cut to its height; empty when the picture
// has none.
std::string svg_sheet(const ReviewPicture& picture, std::string_view id_prefix = "");

// The text with &, <, > and " written as XML entities.
std::string xml_escaped(std::string_view text);

}  // namespace mapari::review
