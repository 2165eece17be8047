// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <boost/json/object.hpp>

#include "archive/ReadingImport.h"

namespace tavrolin {

// ParseReadingJson of a line already parsed: for a reading inside a JSON object of another
// form (the live feed's lines, FeedLines.h).
ImportedReading ReadingOfJson(const boost::json::object& fields);

}  // namespace tavrolin
