#include "history/run_roots.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "output/output.h"
#include "platform/platform.h"
#include "text/str_copy.h"

namespace {

// " (NAME)" after a root's path when it has a name of its own.
void name_suffix(const NamedRoot &root, char *out, size_t capacity) {
  if (std::strcmp(root.name, root.path) == 0) {
    out[0] = '\0';
  } else {
    std::snprintf(out, capacity, " (%s)", root.name);
  }
}

}  // namespace

int prepare_roots(const HistoryOptions &options, int64_t active_since, const char *program,
                  RunRoots *roots) {
  roots->count = options.root_count;
  roots->several = options.root_count > 1;
  roots->named = options.root_named;
  roots->merge = {};
  if (options.root_count == 0) {
    resolve_sessions_root(sessions_root_environment(), &roots->chosen);
    describe_sessions_root_rule(roots->chosen.rule, roots->reason, sizeof roots->reason);
    roots->roots[0] = {roots->chosen.path, roots->chosen.path};
    roots->count = 1;
  } else {
    str_copy(roots->reason, sizeof roots->reason, "given by --root");
    for (int i = 0; i < options.root_count; ++i) roots->roots[i] = options.roots[i];
  }
  // A total across machines that left one out would be wrong without saying
  // so: every root must be there before anything is read.
  for (int i = 0; i < roots->count; ++i) {
    const NamedRoot &root = roots->roots[i];
    if (qv_is_dir(root.path) != 0) continue;
    char name[300];
    name_suffix(root, name, sizeof name);
    err_format("%s: sessions root %s%s %s (%s)\n", program, root.path, name,
               qv_path_exists(root.path) != 0 ? "is not a directory" : "does not exist",
               roots->reason);
    return 1;
  }
  if (!roots->several) return 0;
  const int failed = root_merge_build(&roots->merge, roots->roots, roots->count, active_since);
  if (failed == roots->count) {
    err_format("%s: not enough memory to tell the sessions of %d roots apart\n", program,
               roots->count);
    return 1;
  }
  return failed >= 0 ? cannot_list(program, *roots, failed) : 0;
}

bool counts_copy(RunRoots *roots, int root, const char *name, const SessionRecord &record) {
  return !roots->several || root_merge_counts(&roots->merge, root, name, record);
}

int root_in_turn(const RunRoots &roots, int i) {
  return roots.several ? roots.merge.order[i] : i;
}

int cannot_list(const char *program, const RunRoots &roots, int root) {
  const int error = errno;
  char name[300];
  name_suffix(roots.roots[root], name, sizeof name);
  err_format("%s: sessions root %s%s cannot be listed: %s (%s)\n", program, roots.roots[root].path,
             name, std::strerror(error), roots.reason);
  return 1;
}

void describe_roots(const RunRoots &roots, char *out, size_t capacity) {
  if (roots.count == 1) {
    str_copy(out, capacity, roots.roots[0].path);
    return;
  }
  out[0] = '\0';
  for (int i = 0; i < roots.count; ++i) {
    const size_t used = std::strlen(out);
    std::snprintf(out + used, capacity - used, "%s%s (%s)", i == 0 ? "" : ", ", roots.roots[i].name,
                  roots.roots[i].path);
  }
}
