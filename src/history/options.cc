#include "history/options.h"

#include <cstdio>
#include <cstring>

#include "text/str_copy.h"

namespace {

enum class OptionId {
  kRoot,
  kBy,
  kSince,
  kUntil,
  kTz,
  kProfile,
  kModel,
  kProject,
  kFormat,
  kOutput,
  kHelp,
  kVersion
};

constexpr const char *kDateForms = "a date YYYY-MM-DD";
constexpr const char *kZoneForms =
    "local, utc, or an offset from -14:00 to +14:00 such as +05:30 or -08:00";
constexpr const char *kFormatForms = "table, json, csv, html or prometheus";

struct KnownOption {
  const char *name;
  OptionId id;
  const char *forms;  // what its value may be; null for an option without one
};

constexpr KnownOption kOptions[] = {{"root", OptionId::kRoot, "a folder, or NAME=FOLDER"},
                                    {"by", OptionId::kBy, kGroupingNames},
                                    {"since", OptionId::kSince, kDateForms},
                                    {"until", OptionId::kUntil, kDateForms},
                                    {"tz", OptionId::kTz, kZoneForms},
                                    {"profile", OptionId::kProfile, "a profile name"},
                                    {"model", OptionId::kModel, "a model name"},
                                    {"project", OptionId::kProject, "a part of a folder's path"},
                                    {"format", OptionId::kFormat, kFormatForms},
                                    {"output", OptionId::kOutput, "a file"},
                                    {"help", OptionId::kHelp, nullptr},
                                    {"version", OptionId::kVersion, nullptr}};

constexpr const char *kOptionList =
    "--root, --by, --since, --until, --tz, --profile, --model, --project, --format, "
    "--output (-o), --help, --version";

struct Named {
  const char *name;
  int value;
};

constexpr Named kFormats[] = {{"table", static_cast<int>(OutputFormat::kTable)},
                              {"json", static_cast<int>(OutputFormat::kJson)},
                              {"csv", static_cast<int>(OutputFormat::kCsv)},
                              {"html", static_cast<int>(OutputFormat::kHtml)},
                              {"prometheus", static_cast<int>(OutputFormat::kPrometheus)}};

template <size_t N>
bool find_named(const Named (&names)[N], const char *text, int *value) {
  for (const Named &named : names) {
    if (std::strcmp(named.name, text) == 0) {
      *value = named.value;
      return true;
    }
  }
  return false;
}

// The option named by `name` (the text after "--", up to "=" or its end, of
// `length` bytes): an exact name, or the one name it is a prefix of.
// Answers null and says why in `error` otherwise.
const KnownOption *find_option(const char *name, size_t length, const char *argument, char *error,
                               size_t capacity) {
  const KnownOption *found = nullptr;
  int matches = 0;
  for (const KnownOption &known : kOptions) {
    if (std::strncmp(known.name, name, length) != 0) continue;
    if (known.name[length] == '\0') return &known;
    found = &known;
    ++matches;
  }
  if (matches == 1) return found;
  if (matches == 0) {
    std::snprintf(error, capacity, "unknown option '%s'; the options are %s", argument,
                  kOptionList);
    return nullptr;
  }
  char candidates[160] = "";
  for (const KnownOption &known : kOptions) {
    if (std::strncmp(known.name, name, length) != 0) continue;
    const size_t used = std::strlen(candidates);
    std::snprintf(candidates + used, sizeof candidates - used, "%s--%s", used > 0 ? ", " : "",
                  known.name);
  }
  std::snprintf(error, capacity, "option '%s' is ambiguous; it may be %s", argument, candidates);
  return nullptr;
}

bool is_digits(const char *text, size_t count) {
  for (size_t i = 0; i < count; ++i) {
    if (text[i] < '0' || text[i] > '9') return false;
  }
  return true;
}

int number_of(const char *text, size_t count) {
  int value = 0;
  for (size_t i = 0; i < count; ++i) value = value * 10 + (text[i] - '0');
  return value;
}

// YYYY-MM-DD, a day that exists, years 0001 to 9999.
bool parse_date(const char *text, int64_t *day) {
  if (std::strlen(text) != 10 || text[4] != '-' || text[7] != '-' || !is_digits(text, 4) ||
      !is_digits(text + 5, 2) || !is_digits(text + 8, 2)) {
    return false;
  }
  const int year = number_of(text, 4);
  const int month = number_of(text + 5, 2);
  const int date = number_of(text + 8, 2);
  if (year < 1 || !is_valid_date(year, month, date)) return false;
  *day = days_from_civil(year, month, date);
  return true;
}

bool same_letters(const char *a, const char *b) {
  for (; *a != '\0' && *b != '\0'; ++a, ++b) {
    const char x = (*a >= 'A' && *a <= 'Z') ? static_cast<char>(*a - 'A' + 'a') : *a;
    if (x != *b) return false;
  }
  return *a == *b;
}

// local, utc, or +HH:MM / -HH:MM up to 14 hours either way.
bool parse_zone(const char *text, Zone *zone, char *zone_text, size_t capacity) {
  if (same_letters(text, "local")) {
    *zone = {ZoneKind::kLocal, 0};
    str_copy(zone_text, capacity, "local");
    return true;
  }
  if (same_letters(text, "utc")) {
    *zone = {ZoneKind::kUtc, 0};
    str_copy(zone_text, capacity, "utc");
    return true;
  }
  if (std::strlen(text) != 6 || (text[0] != '+' && text[0] != '-') || text[3] != ':' ||
      !is_digits(text + 1, 2) || !is_digits(text + 4, 2)) {
    return false;
  }
  const int hours = number_of(text + 1, 2);
  const int minutes = number_of(text + 4, 2);
  if (minutes > 59 || hours * 60 + minutes > 14 * 60) return false;
  const int32_t offset = (hours * 3600 + minutes * 60) * (text[0] == '-' ? -1 : 1);
  *zone = {offset == 0 ? ZoneKind::kUtc : ZoneKind::kFixed, offset};
  str_copy(zone_text, capacity, text);
  return true;
}

bool invalid(const KnownOption &known, const char *value, char *error, size_t capacity) {
  std::snprintf(error, capacity, "invalid --%s '%s'; use %s", known.name, value, known.forms);
  return false;
}

// Applies one option with its value; false with a message when the value is bad.
bool apply_option(const KnownOption &known, const char *value, HistoryOptions *options, char *error,
                  size_t capacity) {
  int named = 0;
  switch (known.id) {
    case OptionId::kRoot: {
      if (options->root_count == kMaxRoots) {
        std::snprintf(error, capacity, "more than %d --root options", kMaxRoots);
        return false;
      }
      NamedRoot &root = options->roots[options->root_count];
      // NAME=DIR when the text before the first "=" names no folder: a path
      // with "=" in its first part is written as ./a=b.
      const char *equals = std::strchr(value, '=');
      const size_t name_length = equals != nullptr ? static_cast<size_t>(equals - value) : 0;
      const bool has_name =
          equals != nullptr && name_length > 0 && std::strcspn(value, "/\\") > name_length;
      if (has_name && equals[1] == '\0') return invalid(known, value, error, capacity);
      if (value[0] == '\0') return invalid(known, value, error, capacity);
      if (has_name) {
        // The name is kept apart from its folder in a copy of its own.
        static char names[kMaxRoots][256];
        const size_t kept = name_length < sizeof names[0] ? name_length : sizeof names[0] - 1;
        std::memcpy(names[options->root_count], value, kept);
        names[options->root_count][kept] = '\0';
        root = {names[options->root_count], equals + 1};
        options->root_named = true;
      } else {
        root = {value, value};
      }
      ++options->root_count;
      return true;
    }
    case OptionId::kBy:
      if (!find_grouping(value, &options->by)) return invalid(known, value, error, capacity);
      return true;
    case OptionId::kSince:
    case OptionId::kUntil: {
      const bool since = known.id == OptionId::kSince;
      int64_t day = 0;
      if (!parse_date(value, &day)) return invalid(known, value, error, capacity);
      (since ? options->has_since : options->has_until) = true;
      (since ? options->since_day : options->until_day) = day;
      str_copy(since ? options->since_text : options->until_text, sizeof options->since_text,
               value);
      return true;
    }
    case OptionId::kTz:
      if (!parse_zone(value, &options->zone, options->zone_text, sizeof options->zone_text)) {
        return invalid(known, value, error, capacity);
      }
      return true;
    case OptionId::kProfile:
      options->profile = value;
      return true;
    case OptionId::kModel:
      options->model = value;
      return true;
    case OptionId::kProject:
      options->project = value;
      return true;
    case OptionId::kFormat:
      if (!find_named(kFormats, value, &named)) return invalid(known, value, error, capacity);
      options->format = static_cast<OutputFormat>(named);
      return true;
    case OptionId::kOutput:
      if (value[0] == '\0') return invalid(known, value, error, capacity);
      options->output = value;
      return true;
    case OptionId::kHelp:
      options->help = true;
      return true;
    case OptionId::kVersion:
      options->version = true;
      return true;
  }
  return false;
}

}  // namespace

int parse_history_options(int argc, char **argv, HistoryOptions *options, char *error,
                          size_t capacity) {
  *options = {};
  options->by = GroupBy::kDay;
  options->zone = {ZoneKind::kLocal, 0};
  str_copy(options->zone_text, sizeof options->zone_text, "local");
  options->format = OutputFormat::kTable;
  error[0] = '\0';
  bool options_end = false;
  for (int i = 1; i < argc; ++i) {
    const char *argument = argv[i];
    if (options_end || argument[0] != '-' || std::strcmp(argument, "-") == 0) {
      std::snprintf(error, capacity,
                    "unexpected argument '%s'; the program takes options only (see --help)",
                    argument);
      return 0;
    }
    if (std::strcmp(argument, "--") == 0) {
      options_end = true;
      continue;
    }
    if (argument[1] == 'o') {
      // -o FILE or -oFILE, the one short option, as for compilers and sort.
      static constexpr KnownOption kShortOutput = {"output", OptionId::kOutput, "a file"};
      const char *value = argument + 2;
      if (value[0] == '\0') {
        if (i + 1 == argc) {
          std::snprintf(error, capacity, "option '-o' needs a value: a file");
          return 0;
        }
        value = argv[++i];
      }
      if (!apply_option(kShortOutput, value, options, error, capacity)) return 0;
      continue;
    }
    if (argument[1] != '-') {
      std::snprintf(error, capacity, "unknown option '%s'; the options are %s", argument,
                    kOptionList);
      return 0;
    }
    const char *name = argument + 2;
    const char *equals = std::strchr(name, '=');
    const size_t length =
        equals != nullptr ? static_cast<size_t>(equals - name) : std::strlen(name);
    const KnownOption *known = find_option(name, length, argument, error, capacity);
    if (known == nullptr) return 0;
    const char *value = "";
    if (known->forms != nullptr) {
      if (equals != nullptr) {
        value = equals + 1;
      } else if (i + 1 < argc) {
        value = argv[++i];
      } else {
        std::snprintf(error, capacity, "option '--%s' needs a value: %s", known->name,
                      known->forms);
        return 0;
      }
    } else if (equals != nullptr) {
      std::snprintf(error, capacity, "option '--%s' takes no value", known->name);
      return 0;
    }
    if (!apply_option(*known, value, options, error, capacity)) return 0;
  }
  if (options->has_since && options->has_until && options->since_day > options->until_day) {
    std::snprintf(error, capacity, "--since %s is after --until %s; give the earlier day first",
                  options->since_text, options->until_text);
    return 0;
  }
  return 1;
}
