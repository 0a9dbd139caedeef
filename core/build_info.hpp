// The build a program comes from: the project's version and the commit of
// the source tree, both taken when the build was configured.
#pragma once

namespace core {

const char* project_version();  // e.g. "1.0.0"
const char* project_commit();   // abbreviated commit, "-dirty" with uncommitted changes, "unknown" outside git

}  // namespace core
