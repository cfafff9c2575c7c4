#pragma once
// What a file is to the converter: a movie, a picture or a sound. One list of the file name
// extensions we know, for the desktop program's file dialogs and for k72-card, and the decision by
// content: a picture is recognised by its signature, a movie is any file in which the media library
// finds a video stream it can decode, a sound any other file with a sound stream it can decode.

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace k72 {

enum class MediaKind { Unknown, Movie, Picture, Sound };

// The extensions of a kind, upper case, without the dot; empty for Unknown.
const std::vector<std::string_view>& KnownExtensions(MediaKind kind);

// The kind the name's extension suggests (letter case ignored); Unknown for any other extension.
MediaKind KindOfExtension(const std::filesystem::path& file);

// The kind of a file by its content, with its extension as the first guess: a file named as a picture
// is first checked for a picture's signature, any other first probed by the media library. A file that
// cannot be read keeps the kind its name suggests (opening it will fail with its own message later);
// a readable file that is none of the three is Unknown.
MediaKind KindOfFile(const std::filesystem::path& file);

} // namespace k72
