// The build a program comes from: the project's version, the commit of the
// source tree and the digest of the sources, taken at every build
// (tools/build_identity.cmake), so that a rebuild after any change of the
// sources carries another identity.
#pragma once

namespace core {

const char* project_version();  // e.g. "1.0.0"
const char* project_commit();   // abbreviated commit, "-dirty" with uncommitted changes, "unknown" outside git
const char* project_sources();  // SHA-256 of the program sources (64 hex digits)

}  // namespace core
