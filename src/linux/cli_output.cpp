#include "cli_output.h"

#include <unistd.h>

#include <cerrno>

#include "cli_texts.h"

DescriptorOutput::int_type DescriptorOutput::overflow(int_type c) {
    if (failed_) return traits_type::eof();
    if (!traits_type::eq_int_type(c, traits_type::eof())) pending_ += traits_type::to_char_type(c);
    return traits_type::not_eof(c);
}

std::streamsize DescriptorOutput::xsputn(const char* text, std::streamsize count) {
    if (failed_) return 0;
    pending_.append(text, static_cast<std::size_t>(count));
    return count;
}

int DescriptorOutput::sync() {
    if (failed_) return -1;
    const std::string bytes = inLocaleCharset(pending_);
    pending_.clear();
    for (std::size_t done = 0; done < bytes.size();) {
        const ssize_t written = ::write(fd_, bytes.data() + done, bytes.size() - done);
        if (written < 0 && errno == EINTR) continue;
        if (written <= 0) {
            failed_ = true;
            return -1;
        }
        done += static_cast<std::size_t>(written);
    }
    return 0;
}
