#pragma once
// Why a picture file is refused, in words the user understands, with the result code that goes with
// each cause: 0x80000200 for a file that cannot be decoded, 0x80000201 for a picture too large to hold.

#include "codecs/ConversionProblem.h"

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace k72::picturecause {

ConversionProblem CannotOpen(int error); // an errno value
ConversionProblem NotAFile();
ConversionProblem EmptyFile();
ConversionProblem FileTooLarge(std::uint64_t bytes);
ConversionProblem Truncated();
// "the PNG picture is damaged"; format names the kind ("JPEG", "PNG", …).
ConversionProblem Damaged(std::string_view format);
ConversionProblem TooLarge(std::uint64_t width, std::uint64_t height);
// A coding or layout the decoders lack; what is said after "the picture uses".
ConversionProblem Unsupported(std::string_view what);
ConversionProblem OutOfMemory();
// Names what the file is instead, from its first bytes, where that is known ("a PDF document").
ConversionProblem NotAPicture(const std::uint8_t* data, std::size_t size);

} // namespace k72::picturecause
