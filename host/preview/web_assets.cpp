#include "host/preview/web_assets.h"

namespace kivo::preview {

const EmbeddedFile *findEmbeddedFile(std::string_view name) {
    for (const EmbeddedFile &file : embeddedFiles())
        if (file.name == name) return &file;
    return nullptr;
}

std::string contentTypeOf(std::string_view name) {
    const auto endsWith = [&](std::string_view suffix) {
        return name.size() >= suffix.size() && name.substr(name.size() - suffix.size()) == suffix;
    };
    if (endsWith(".html")) return "text/html; charset=utf-8";
    if (endsWith(".js")) return "text/javascript; charset=utf-8";
    if (endsWith(".css")) return "text/css; charset=utf-8";
    if (endsWith(".svg")) return "image/svg+xml";
    return "application/octet-stream";
}

} // namespace kivo::preview
