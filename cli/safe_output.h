#pragma once
// Outputs appear whole or not at all: written under a temporary name of their own beside the
// target and renamed into place at the end. Nothing else beside the target is touched.
//
// Rewriting a file keeps what the user set on it, as cp and sox do: its permissions, its owner
// and group (where the user may give them), and a symbolic link stays a link, the new contents
// going to the file it points to. A new file gets the usual permissions (0666 less the umask).

#include <functional>
#include <string>

namespace varnolt::cli {

// Whether the output can go where `path` is: a file can be created in its folder, and an
// existing file there is one the user may replace. False with a one-line reason naming `path`.
bool can_create(const std::string& path, std::string& error);

// One output on its way: a new temporary file beside the target (a hidden name no other file
// has), renamed into place by commit and removed by the destructor if it never was.
class PendingOutput {
  public:
    explicit PendingOutput(std::string path);
    ~PendingOutput();
    PendingOutput(const PendingOutput&) = delete;
    PendingOutput& operator=(const PendingOutput&) = delete;

    // Runs `write` on the temporary file; false with a one-line reason naming the target (never
    // the temporary name), also when the run was interrupted.
    bool write(const std::function<bool(const std::string&, std::string&)>& writer,
               std::string& error);
    // Puts the written file in place of the target.
    bool commit(std::string& error);

    // The file the output replaces: the path given, or the file its symbolic links lead to.
    const std::string& target() const { return target_; }

  private:
    std::string path_;    // as the user named it
    std::string target_;  // where it is written
    std::string temporary_;
    int temporary_errno_ = 0;  // why no temporary file could be made
    bool committed_ = false;
};

// Writes and commits one output.
bool write_safely(const std::string& path, std::string& error,
                  const std::function<bool(const std::string&, std::string&)>& write);

}  // namespace varnolt::cli
