#include "maptools/output_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <exception>
#include <cstring>
#include <streambuf>
#include <vector>

#include "util/platform/files.h"

namespace vormap {

namespace {

// A stream buffer that hands its bytes to a sink in large pieces; the sink
// returns 0 or an errno value, and the first failure is kept.
class sink_buffer : public std::streambuf {
 public:
  using sink = std::function<int(const char*, size_t)>;
  explicit sink_buffer(sink s) : sink_(std::move(s)), buffer_(size_t{1} << 20) {
    setp(buffer_.data(), buffer_.data() + buffer_.size());
  }
  int error() const { return error_; }

 protected:
  int_type overflow(int_type ch) override {
    if (!flush()) return traits_type::eof();
    if (!traits_type::eq_int_type(ch, traits_type::eof())) {
      *pptr() = traits_type::to_char_type(ch);
      pbump(1);
    }
    return traits_type::not_eof(ch);
  }
  std::streamsize xsputn(const char* s, std::streamsize n) override {
    if (n < static_cast<std::streamsize>(buffer_.size())) return std::streambuf::xsputn(s, n);
    // Large pieces go straight through.
    if (!flush() || !put(s, static_cast<size_t>(n))) return 0;
    return n;
  }
  int sync() override { return flush() ? 0 : -1; }
  // Only telling the position is supported: the bytes put so far.
  pos_type seekoff(off_type off, std::ios_base::seekdir dir, std::ios_base::openmode which) override {
    if (off != 0 || dir != std::ios_base::cur || (which & std::ios_base::out) == 0) return pos_type(off_type(-1));
    return pos_type(static_cast<off_type>(written_ + static_cast<size_t>(pptr() - pbase())));
  }

 private:
  bool put(const char* s, size_t n) {
    if (error_ == 0 && n > 0) error_ = sink_(s, n);
    if (error_ == 0) written_ += n;
    return error_ == 0;
  }
  bool flush() {
    const bool ok = put(pbase(), static_cast<size_t>(pptr() - pbase()));
    setp(buffer_.data(), buffer_.data() + buffer_.size());
    return ok;
  }
  sink sink_;
  std::vector<char> buffer_;
  int error_ = 0;
  size_t written_ = 0;
};

bool fail(std::string& error, const char* what, const std::string& path, int err) {
  error = std::string(what) + " '" + path + "': " + std::strerror(err);
  return false;
}

// Runs `produce` into `sink`. Returns 0, an errno value, or -1 when
// `produce` failed (with its reason in `reason`).
int produce_into(const sink_buffer::sink& sink,
                 const std::function<bool(std::ostream&, std::string&)>& produce, std::string& reason) {
  sink_buffer buffer(sink);
  std::ostream stream(&buffer);
  bool made = false;
  try {
    made = produce(stream, reason);
  } catch (const std::exception& e) {
    reason = e.what();
    return -1;
  }
  stream.flush();
  if (buffer.error() != 0) return buffer.error();
  if (!made) return -1;
  return stream ? 0 : EIO;
}

bool write_in_place(const std::string& path, const std::function<bool(std::ostream&, std::string&)>& produce,
                    std::string& error) {
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
  if (fd < 0) return fail(error, "cannot open", path, errno);
  std::string reason;
  const int err =
      produce_into([fd](const char* p, size_t n) { return platform_write_all(fd, p, n); }, produce, reason);
  const bool closed = ::close(fd) == 0;
  if (err == -1) {
    error = "cannot write '" + path + "': " + reason;
    return false;
  }
  if (err != 0) return fail(error, "cannot write", path, err);
  if (!closed) return fail(error, "cannot write", path, errno);
  return true;
}

bool write_replacing(const std::string& path, const std::function<bool(std::ostream&, std::string&)>& produce,
                     std::string& error) {
  platform_temp_file temp;
  if (!platform_temp_open(path.c_str(), &temp)) return fail(error, "cannot write", path, temp.error);
  std::string reason;
  const int err = produce_into(
      [&temp](const char* p, size_t n) { return platform_temp_write(&temp, p, n) ? 0 : temp.error; }, produce,
      reason);
  if (err != 0) {
    platform_temp_abandon(&temp);
    if (err == -1) {
      error = "cannot write '" + path + "': " + reason;
      return false;
    }
    return fail(error, "cannot write", path, err);
  }
  if (!platform_temp_commit(&temp))
    return fail(error, temp.replace_failed ? "cannot replace" : "cannot write", path, temp.error);
  return true;
}

}  // namespace

bool write_output_file(const std::string& path, const std::function<bool(std::ostream&, std::string&)>& produce,
                       std::string& error, output_links links) {
  struct stat st;
  if (::lstat(path.c_str(), &st) != 0) {
    if (errno != ENOENT) return fail(error, "cannot write", path, errno);
    return write_replacing(path, produce, error);
  }
  if (S_ISREG(st.st_mode)) return write_replacing(path, produce, error);
  if (S_ISDIR(st.st_mode)) return fail(error, "cannot write", path, EISDIR);
  if (links == output_links::refuse) {
    error = "cannot write '" + path + "': " + (S_ISLNK(st.st_mode) ? "it is a symbolic link" : "not a regular file");
    return false;
  }
  if (S_ISLNK(st.st_mode)) {
    // A link to a regular file: that file is replaced whole, beside itself,
    // so that a failure keeps it; the link stays as it is.
    char* resolved = ::realpath(path.c_str(), nullptr);
    if (resolved != nullptr) {
      const std::string target = resolved;
      std::free(resolved);
      struct stat to;
      if (::stat(target.c_str(), &to) == 0 && S_ISREG(to.st_mode)) {
        if (!write_replacing(target, produce, error)) {
          // The message names the path the user gave.
          const size_t quoted = error.find("'" + target + "'");
          if (quoted != std::string::npos) error.replace(quoted, target.size() + 2, "'" + path + "'");
          return false;
        }
        return true;
      }
    }
  }
  return write_in_place(path, produce, error);
}

bool write_output_file(const std::string& path, std::string_view data, std::string& error, output_links links) {
  return write_output_file(
      path,
      [data](std::ostream& out, std::string&) {
        out.write(data.data(), static_cast<std::streamsize>(data.size()));
        return true;
      },
      error, links);
}

}  // namespace vormap
