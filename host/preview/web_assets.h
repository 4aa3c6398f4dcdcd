// The page's files, built into the program from web/ (see
// cmake/EmbedFiles.cmake): the viewer reads no file of its own at run time.
#ifndef KIVO_HOST_PREVIEW_WEB_ASSETS_H
#define KIVO_HOST_PREVIEW_WEB_ASSETS_H

#include <string>
#include <string_view>
#include <vector>

namespace kivo::preview {

struct EmbeddedFile {
    std::string name; // path under web/, such as "app.js"
    std::string_view bytes;
};

const std::vector<EmbeddedFile> &embeddedFiles();

// The file of that name, or null.
const EmbeddedFile *findEmbeddedFile(std::string_view name);

// Its content type, by extension.
std::string contentTypeOf(std::string_view name);

} // namespace kivo::preview

#endif
