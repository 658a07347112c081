#include "app/commands.h"

#include <vector>

#include "app/listing.h"
#include "containers/image_file.h"
#include "operations/convert.h"
#include "operations/format.h"
#include "operations/tape.h"
#include "volume/path.h"

namespace tarnwick {

TextForm Run::text_files() const {
  return TextForm{con.utf8_files() ? TextEncoding::kUtf8 : TextEncoding::kCp932, kTextLineEnd};
}

namespace {

constexpr int kAnyCount = 1 << 30;

std::string path_of(const Run& r) { return r.line.path.value_or(""); }
std::string host_file_of(const Run& r) { return r.line.host_file.value_or(""); }
TextKinds kinds_of(const Run& r) { return TextKinds{r.line.options.basic, r.line.options.text}; }

// The directory a wildcard PATH picks entries of; PATH itself otherwise.
std::string listed_path(const Run& r) {
  if (!r.pattern) return path_of(r);
  return r.pattern->directory.empty() ? "/" : r.pattern->directory;
}

// R and X of the entries a wildcard PATH matches; R writes files only.
// Standard output takes one file: R of a pattern into "-" is refused.
void extract_matches(Run& r, bool files_only, Report& rep) {
  if (r.host.writes_standard_output(HostPath::from_argument(host_file_of(r)))) {
    rep.err(msg::kCannotWrite, as_host_text(host_file_of(r)));
    return;
  }
  const TreePick pick{&r.pattern->last, files_only, path_of(r)};
  r.session->extract_tree(listed_path(r), r.host, host_file_of(r), kinds_of(r), rep, pick);
}

// A PATH that leads nowhere, or a pattern that matches nothing, gives no document.
std::optional<Change> handle_list(Run& r, const CheckReport& before, Report& rep) {
  const Options& o = r.line.options;
  const NamePattern* pattern = r.pattern ? &r.pattern->last : nullptr;
  const Listing listing = r.session->list(directory_path(listed_path(r)), o.recursive, pattern);
  Report resolving = listing.lines;
  rep.append(std::move(resolving));
  if (pattern && (listing.where.fault != PathFault::kEmptyLast || listing.directories[0].entries.empty())) {
    // Only the directory the pattern names is searched.
    if (listing.where.fault == PathFault::kEmptyLast) rep.err(msg::kNoMatch, path_of(r));
    if (listing.where.fault == PathFault::kBadName) rep.err(msg::kDirectoryNotFound, listed_path(r));
    return std::nullopt;
  }
  if (!o.json) {
    report_listing(listing, o.long_listing, rep);
  } else if (listing.where.fault != PathFault::kDirectoryMissing) {
    r.document = listing_document(r.line.image_name, r.session->container(), before, listing);
    r.document_at = rep.size();
  }
  return std::nullopt;
}

std::optional<Change> handle_extract(Run& r, const CheckReport&, Report& rep) {
  if (r.pattern) {
    extract_matches(r, true, rep);
    return std::nullopt;
  }
  r.session->extract_to_host(path_of(r), r.host, host_file_of(r), kinds_of(r), rep);
  return std::nullopt;
}

std::optional<Change> handle_extract_tree(Run& r, const CheckReport&, Report& rep) {
  if (r.pattern) {
    extract_matches(r, false, rep);
    return std::nullopt;
  }
  r.session->extract_tree(path_of(r), r.host, host_file_of(r), kinds_of(r), rep);
  return std::nullopt;
}

// W of several host files fills the directory PATH as A does.
std::optional<Change> handle_store(Run& r, const CheckReport&, Report& rep) {
  if (r.line.host_files.size() > 1) {
    return r.session->store_trees(path_of(r), r.host, r.line.host_files, kinds_of(r), rep);
  }
  return r.session->store(path_of(r), r.host, host_file_of(r), kinds_of(r), rep);
}

std::optional<Change> handle_import(Run& r, const CheckReport&, Report& rep) {
  return r.session->import_records(path_of(r), r.host, host_file_of(r), rep);
}

std::optional<Change> handle_delete(Run& r, const CheckReport&, Report& rep) {
  if (r.pattern) return r.session->delete_matching(*r.pattern, path_of(r), rep);
  return r.session->delete_file(path_of(r), rep);
}

std::optional<Change> handle_make_directory(Run& r, const CheckReport&, Report& rep) {
  return r.session->make_directory(path_of(r), r.host.now(), rep);
}

std::optional<Change> handle_remove_directory(Run& r, const CheckReport&, Report& rep) {
  return r.session->remove_directory(path_of(r), rep);
}

std::optional<Change> handle_store_tree(Run& r, const CheckReport&, Report& rep) {
  return r.session->store_tree(path_of(r), r.host, host_file_of(r), kinds_of(r), rep);
}

// C: the disk's bytes into NEWIMAGE, made as F makes an image file.
std::optional<Change> handle_convert(Run& r, const CheckReport&, Report& rep) {
  const std::string new_name = host_file_of(r);
  const NewImageForm form = new_image_form(new_name).value_or(NewImageForm::kD88);
  const std::optional<std::vector<uint8_t>> bytes = r.session->disk_image(form, new_name, rep);
  if (!bytes) return std::nullopt;
  const bool written = ImageFile::write_new(r.host, rep, new_name, [&bytes](File& file) {
    return bytes->empty() || file.write_at(0, bytes->data(), bytes->size()) == bytes->size();
  });
  if (written) rep.out(msg::kImageCreated, new_name);
  return std::nullopt;
}

// F makes the image; the run then loads and checks it as any other.
bool make_image(Run& r, Report& rep) { return format_image_file(r.host, rep, r.line.image_name); }

bool check_new_image_name(Run& r, Report& rep) { return check_new_image(r.host, rep, host_file_of(r)); }

// T converts host files alone: no image, no check.
bool convert_tape_files(Run& r, Report& rep) {
  convert_tape(r.host, rep, r.line.source, r.line.target, r.text_files(), r.con.utf8_paths(), r.line.options.tape_name);
  return false;
}

// E: the examination, and with --fix the mends; with --json its document
// in place of the lines on standard output.
Ran examine(Run& r, Report& rep) {
  Repair repair;
  const Ran ran = r.session->examine(r.line.options.fix, repair, rep);
  if (r.line.options.json && !ran.read_failed) {
    r.document = examination_document(r.line.image_name, r.session->container(), r.session->volume().geometry(),
                                      repair);
    r.document_at = rep.size();
  }
  return ran;
}

constexpr Access kRead = Access::kRead;
constexpr Access kWrite = Access::kWrite;

// Every command, once. F's check of the disk it made only reads it.
constexpr Command kCommands[] = {
    {'L', 2, kAnyCount, "2-4", {}, kRead, DataOut::kNone, true, false, true, nullptr, handle_list},
    {'R', 5, 5, "5", {}, kRead, DataOut::kHostFile, true, false, true, nullptr, handle_extract},
    {'X', 5, 5, "5", {}, kRead, DataOut::kNone, true, false, true, nullptr, handle_extract_tree},
    {'C', 4, 4, "4", {}, kRead, DataOut::kNone, true, true, false, check_new_image_name, handle_convert},
    {'T', 3, 3, "3", {}, kRead, DataOut::kTarget, false, false, false, convert_tape_files, nullptr},
    {'W', 5, kAnyCount, "5-", "write", kWrite, DataOut::kNone, true, false, false, nullptr, handle_store},
    {'I', 5, 5, "5", "import", kWrite, DataOut::kNone, true, false, false, nullptr, handle_import},
    {'D', 4, 4, "4", "delete del", kWrite, DataOut::kNone, true, false, true, nullptr, handle_delete},
    {'M', 4, 4, "4", "mkdir md", kWrite, DataOut::kNone, true, false, false, nullptr, handle_make_directory},
    {'K', 4, 4, "4", "kill", kWrite, DataOut::kNone, true, false, false, nullptr, handle_remove_directory},
    {'A', 5, 5, "5", "add", kWrite, DataOut::kNone, true, false, false, nullptr, handle_store_tree},
    {'F', 2, 3, "2-3", "format", kRead, DataOut::kNone, true, false, false, make_image, nullptr},
    {'E', 2, 3, "2-3", {}, kRead, DataOut::kNone, true, false, false, nullptr, nullptr, examine},
};

}  // namespace

Access access_of(const Command& c, const CommandLine& line) { return line.options.fix ? kWrite : c.access; }

const Command* find_command(char letter) {
  for (const Command& c : kCommands) {
    if (c.letter == letter) return &c;
  }
  return nullptr;
}

}  // namespace tarnwick
