// Captures assertion reports for the lifetime of the object instead of printing them.
#pragma once

#include <string>
#include <vector>

#include "se_assert.h"

struct AssertReport {
    std::string expression;
    std::string file;
    int line;
};

class AssertCapture {
public:
    AssertCapture();
    ~AssertCapture();
    AssertCapture(const AssertCapture&) = delete;
    AssertCapture& operator=(const AssertCapture&) = delete;

    const std::vector<AssertReport>& reports() const;
    std::vector<std::string> expressions() const;
    void clear();

private:
    SeAssertHandler m_previous;
};
