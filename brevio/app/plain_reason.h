// Why a trim failed, in the words a person would use: what failed and where,
// never the library's "filesystem error: ... [path]".
#pragma once

#include <QString>
#include <exception>

namespace brevio::app {

// One sentence for an error the trim threw, e.g. "The folder /x/out does not
// exist.", "You may not write to /x/out.", "/x/page.htm can no longer be read.".
// File errors are worded from their step and error number; other system errors
// from their error number; anything else passes its own text through.
QString PlainReason(const std::exception& error);

}  // namespace brevio::app
