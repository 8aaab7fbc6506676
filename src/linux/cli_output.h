// Standard output and standard error of the command-line program: the texts, UTF-8 inside the
// program, written to a descriptor in the locale's character set when the stream is flushed.
#pragma once

#include <streambuf>
#include <string>

class DescriptorOutput : public std::streambuf {
public:
    explicit DescriptorOutput(int fd) : fd_(fd) {}
    ~DescriptorOutput() override { sync(); }
    DescriptorOutput(const DescriptorOutput&) = delete;
    DescriptorOutput& operator=(const DescriptorOutput&) = delete;

protected:
    int_type overflow(int_type c) override;
    std::streamsize xsputn(const char* text, std::streamsize count) override;
    // Writes what is pending in one go. A write that fails (a closed pipe, a full disk, a
    // terminal hung up) fails the stream for good: nothing more is tried, so that a dead output
    // never slows the program down. A terminal that takes no output (Ctrl-S, a pipe nobody reads)
    // holds the write up, without bound: while units are written only the thread that draws their
    // progress writes (UnitsProgress), and what is written before or after may wait.
    int sync() override;

private:
    int fd_;
    std::string pending_;
    bool failed_ = false;
};
