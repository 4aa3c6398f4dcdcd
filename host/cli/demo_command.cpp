#include "host/cli/demo_command.h"

#include <algorithm>
#include <filesystem>
#include <functional>
#include <stdexcept>
#include <vector>

#include "host/cli/demo_frames.h"
#include "host/cli/instance_settings.h"
#include "host/cli/render_command.h"
#include "host/cli/scene_commands.h"
#include "host/core/host_session.h"
#include "host/media/atomic_file.h"
#include "host/media/frame_pattern.h"
#include "host/media/image_file.h"
#include "host/scene/scene_file.h"
#include "host/scene/scene_json.h"

namespace kivo::cli {
namespace {

constexpr int kWidth = 320, kHeight = 240;
constexpr int kFirstFrame = 1, kFrameCount = 25; // fade 0, 0.25, ..., 1 fall on frames 1, 7, 13, 19, 25
constexpr double kFps = 24;

struct Look {
    const char *title;     // row title of the contact sheet
    const char *directory; // under the demo directory
    std::vector<std::string> settings; // NAME=VALUE, as `vidmixer set` takes them
};

// Each look with settings that show it off.
const std::vector<Look> &looks() {
    static const std::vector<Look> all = {
        {"Static", "static", {"effect=static", "grainWidth=2", "grainHeight=2"}},
        {"RGB", "rgb", {"effect=rgb", "mix=255,96,0"}},
        {"B&W Film", "bw-film", {"effect=film", "filmQuality=dusty", "sepia=on", "vignette=on", "sprocketJump=on"}},
        {"Negative", "negative", {"effect=negative"}},
    };
    return all;
}

std::string upper(std::string text) {
    for (char &c : text)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return text;
}

} // namespace

int runDemo(const std::string &outDir, const std::string &modulePath, std::ostream &out, std::ostream &err,
            bool force) {
    namespace fs = std::filesystem;
    const fs::path root(outDir);
    auto scenePath = [&](const Look &look) {
        return (root / "scenes" / (std::string(look.directory) + ".json")).string();
    };

    // Scenes first, each made with the module open only meanwhile, so that
    // every render below starts from a freshly loaded module, as `vidmixer
    // render` does.
    std::vector<scene::Scene> scenes;
    const scene::Scene base = newScene(kFps, {kFirstFrame, kFirstFrame + kFrameCount - 1}, modulePath);
    for (const Look &look : looks()) {
        scenes.push_back(base);
        changeFilterSettings(scenes.back(), 0, look.settings, modulePath);
    }
    // A scene that differs from the demo's own was edited: keep it.
    for (size_t i = 0; i < looks().size() && !force; ++i) {
        std::string text;
        try {
            text = media::readWholeFile(scenePath(looks()[i]));
        } catch (const media::FileError &) {
            continue; // not there (or unreadable, and then replaced)
        }
        if (text != scene::formatSceneText(scenes[i]))
            throw std::invalid_argument(scenePath(looks()[i]) +
                                        ": this scene was changed since the demo wrote it; add --force to replace "
                                        "it, or choose another --out");
    }

    fs::create_directories(root / "input");
    fs::create_directories(root / "scenes");
    for (size_t i = 0; i < looks().size(); ++i)
        scene::saveSceneFile(scenes[i], scenePath(looks()[i]));
    const media::FramePattern input((root / "input" / "####.png").string());
    for (int i = 0; i < kFrameCount; ++i)
        media::writeImageFile(input.pathOf(kFirstFrame + i),
                              demoFrame(i, kFrameCount, kWidth, kHeight, kFirstFrame + i));

    const std::vector<int> sheetFrames = {0, 6, 12, 18, 24}; // indices at fade 0, 0.25, 0.5, 0.75, 1
    std::vector<std::vector<host::RgbaImage>> tiles;
    std::vector<std::string> rowTitles;
    for (size_t i = 0; i < looks().size(); ++i) {
        const Look &look = looks()[i];
        err << "vidmixer demo: rendering " << look.title << "\n";
        const std::string output = (root / look.directory / "####.png").string();
        renderSequence(scenes[i], modulePath, input.text(), output,
                       media::FrameRange{kFirstFrame, kFirstFrame + kFrameCount - 1});
        const media::FramePattern rendered(output);
        tiles.emplace_back();
        for (int index : sheetFrames)
            tiles.back().push_back(media::readImageFile(rendered.pathOf(kFirstFrame + index)).image);
        rowTitles.push_back(upper(look.title));
    }
    const std::string sheetPath = (root / "contact-sheet.png").string();
    media::writeImageFile(sheetPath, contactSheet(tiles, rowTitles, {"FADE 0", "0.25", "0.5", "0.75", "1"}));

    out << "vidmixer demo: " << kFrameCount << " frames of " << kWidth << "x" << kHeight
        << " through the four looks, each fading in from 0 (frame " << kFirstFrame << ") to 1 (frame "
        << kFirstFrame + kFrameCount - 1 << ")\n"
        << "  input frames:   " << input.text() << "\n";
    for (const Look &look : looks())
        out << "  " << look.title << ":" << std::string(15 - std::string(look.title).size(), ' ')
            << (root / look.directory / "####.png").string() << "   (scene "
            << (root / "scenes" / (std::string(look.directory) + ".json")).string() << ")\n";
    out << "  contact sheet:  " << sheetPath << "\n"
        << "                  rows Static, RGB, B&W Film, Negative; columns at fade 0, 0.25, 0.5, 0.75, 1\n";
    return 0;
}

} // namespace kivo::cli
