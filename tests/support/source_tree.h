#pragma once
// Files of the source tree a test reads (scripts, examples), found through the configured
// source folder rather than __FILE__: a compiler cache may make __FILE__ relative.
#include <QString>

namespace velocast::testing {

// `relative` (e.g. "tests/support/tds_peer.py") inside the source tree.
QString sourceTreePath(const QString& relative);

}  // namespace velocast::testing
