#include "util/platform/output_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <new>
#include <streambuf>
#include <vector>

#include "util/platform/files.h"

namespace vormap {

namespace {

using producer = std::function<int(const output_sink&, std::string&)>;

// A stream buffer that hands its bytes to a sink in large pieces; the first
// failure is kept.
class sink_buffer : public std::streambuf {
 public:
  explicit sink_buffer(const output_sink& s) : sink_(s), buffer_(size_t{1} << 20) {
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
  const output_sink& sink_;
  std::vector<char> buffer_;
  int error_ = 0;
  size_t written_ = 0;
};

bool fail(std::string& error, const char* what, const std::string& path, int err) {
  error = std::string(what) + " '" + path + "': " + std::strerror(err);
  return false;
}

// Runs `produce` into `sink`, keeping the sink's first failure. Returns 0,
// an errno value, or -1 when `produce` failed (with its reason in `reason`).
int run_producer(const producer& produce, const output_sink& sink, std::string& reason) {
  int first_error = 0;
  const output_sink keeping = [&](const void* data, size_t size) {
    if (first_error == 0) first_error = sink(data, size);
    return first_error;
  };
  int result;
  try {
    result = produce(keeping, reason);
  } catch (const std::bad_alloc&) {
    reason = "out of memory";
    return -1;
  } catch (const std::exception& e) {
    reason = e.what();
    return -1;
  }
  if (first_error != 0) return first_error;
  return result;
}

bool produce_failed(std::string& error, const std::string& path, int err, const std::string& reason) {
  if (err == -1) {
    error = "cannot write '" + path + "': " + reason;
    return false;
  }
  return fail(error, "cannot write", path, err);
}

bool write_in_place(const std::string& path, const producer& produce, std::string& error) {
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
  if (fd < 0) return fail(error, "cannot open", path, errno);
  std::string reason;
  const int err =
      run_producer(produce, [fd](const void* p, size_t n) { return platform_write_all(fd, p, n); }, reason);
  const bool closed = ::close(fd) == 0;
  if (err != 0) return produce_failed(error, path, err, reason);
  if (!closed) return fail(error, "cannot write", path, errno);
  return true;
}

bool write_replacing(const std::string& path, const producer& produce, std::string& error) {
  platform_temp_file temp;
  if (!platform_temp_open(path.c_str(), &temp))
    return fail(error, temp.target_refused ? "cannot open" : "cannot create", path, temp.error);
  std::string reason;
  const int err = run_producer(
      produce, [&temp](const void* p, size_t n) { return platform_temp_write(&temp, p, n) ? 0 : temp.error; },
      reason);
  if (err != 0) {
    platform_temp_abandon(&temp);
    return produce_failed(error, path, err, reason);
  }
  if (!platform_temp_commit(&temp))
    return fail(error, temp.replace_failed ? "cannot replace" : "cannot write", path, temp.error);
  return true;
}

// A link to a regular file: that file is replaced whole, beside itself; the
// messages name the path the user gave.
bool replace_link_target(const std::string& path, const producer& produce, std::string& error) {
  char* resolved = ::realpath(path.c_str(), nullptr);
  if (resolved == nullptr) return write_in_place(path, produce, error);
  const std::string target = resolved;
  std::free(resolved);
  struct stat to;
  if (::stat(target.c_str(), &to) != 0 || !S_ISREG(to.st_mode)) return write_in_place(path, produce, error);
  if (write_replacing(target, produce, error)) return true;
  const size_t quoted = error.find("'" + target + "'");
  if (quoted != std::string::npos) error.replace(quoted, target.size() + 2, "'" + path + "'");
  return false;
}

}  // namespace

bool write_output_file(const std::string& path, const producer& produce, std::string& error, output_links links) {
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
  if (S_ISLNK(st.st_mode) && links == output_links::replace_target) return replace_link_target(path, produce, error);
  return write_in_place(path, produce, error);
}

bool write_output_stream(const std::string& path, const std::function<bool(std::ostream&, std::string&)>& produce,
                         std::string& error, output_links links) {
  return write_output_file(
      path,
      [&produce](const output_sink& sink, std::string& reason) {
        sink_buffer buffer(sink);
        std::ostream stream(&buffer);
        const bool made = produce(stream, reason);
        stream.flush();
        if (buffer.error() != 0) return buffer.error();
        if (!made) return -1;
        return stream ? 0 : EIO;
      },
      error, links);
}

bool write_output_file(const std::string& path, std::string_view data, std::string& error, output_links links) {
  return write_output_file(
      path, [data](const output_sink& sink, std::string&) { return sink(data.data(), data.size()); }, error, links);
}

}  // namespace vormap
