// Numbers drawn as pictures: the digits and separators of a small picture of
// one line of text (a fax number after "传真："), read with Tesseract. The
// picture is made grey, scaled up to a height recognition reads well, turned
// to dark text on white whatever its tint, and read as a single line limited
// to the characters a number is written with.
#pragma once

#include <QImage>

#include <string>

namespace vq {

// The number the picture shows ("0519-88888888", "+86-10-66668888", without
// spaces), or empty
// when its reading holds fewer than kMinPictureDigits digits or recognition
// is not available.
std::string numberInPicture(const QImage& picture);

inline constexpr int kMinPictureDigits = 6;

} // namespace vq
