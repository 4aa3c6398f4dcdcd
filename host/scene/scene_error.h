// A scene file that cannot be used, with the file and the place in it.
#ifndef KIVO_HOST_SCENE_SCENE_ERROR_H
#define KIVO_HOST_SCENE_SCENE_ERROR_H

#include <stdexcept>
#include <string>

namespace kivo::scene {

class SceneError : public std::runtime_error {
public:
    // place is a JSON pointer ("/items/0/id"), a "line L, column C", or empty
    // for the file as a whole.
    SceneError(const std::string &file, const std::string &place, const std::string &reason)
        : std::runtime_error(file + ": " + (place.empty() ? "" : place + ": ") + reason), file_(file), place_(place),
          reason_(reason) {}

    const std::string &file() const { return file_; }
    const std::string &place() const { return place_; }
    const std::string &reason() const { return reason_; }

private:
    std::string file_, place_, reason_;
};

} // namespace kivo::scene

#endif
