// vidmixer preview: the scene's frames and settings in a local web page.
#ifndef KIVO_HOST_PREVIEW_PREVIEW_COMMAND_H
#define KIVO_HOST_PREVIEW_PREVIEW_COMMAND_H

#include <ostream>
#include <string>

namespace kivo::preview {

struct PreviewRequest {
    std::string scenePath;
    std::string input;  // empty: the demo's test picture
    std::string output; // empty: no render from the page
    std::string module; // empty: the module beside vidmixer
    std::string listen = "127.0.0.1";
    int port = 0; // 0: a free one
    bool noBrowser = false;
};

// Serves the page until Ctrl+C (twice, when there are unsaved changes),
// termination or the page's Quit; returns the exit code. Throws for a scene,
// input or address that cannot be used, before anything is served.
int runPreview(const PreviewRequest &request, std::ostream &out, std::ostream &err);

} // namespace kivo::preview

#endif
