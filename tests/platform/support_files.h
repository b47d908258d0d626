#pragma once

#include <string>

namespace testfiles {

// A fresh empty folder under the build's temporary area, removed with its contents when the object goes.
class ScratchDir {
public:
    ScratchDir();
    ~ScratchDir();
    ScratchDir(const ScratchDir&) = delete;
    ScratchDir& operator=(const ScratchDir&) = delete;
    const std::string& Path() const { return path; }
    std::string File(const std::string& name) const { return path + "/" + name; }

private:
    std::string path;
};

std::string Slurp(const std::string& path);
void Spit(const std::string& path, const std::string& bytes);
bool Exists(const std::string& path);
// Number of entries in a folder (files left behind by a failed write show up here).
int CountEntries(const std::string& folder);

} // namespace testfiles
