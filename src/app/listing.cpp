#include "app/listing.h"

#include <optional>
#include <utility>

#include "codecs/json.h"
#include "containers/d88.h"
#include "output/name_text.h"
#include "output/render.h"
#include "volume/format.h"
#include "volume/timestamp.h"

namespace tarnwick {

namespace {

void report_entry(const ListedEntry& e, bool long_listing, Report& rep) {
  rep.out(msg::kListLabel, mode_label(e.mode), (e.attribute & 0x01) ? '*' : ' ');
  // Shown between double quotes; in the catalogue's bytes a NUL byte in
  // the name ends it there, as a C text.
  rep.out(msg::kListName, e.name);
  const StampDisplay s = display_time_stamp(e.stamp);
  rep.out(msg::kListStamp, s.year, s.month, s.day, s.hour, s.minute);
  rep.trace(msg::kListStartRecord, unsigned{e.record});
  if (long_listing) {
    rep.out(msg::kListSize, e.size);
    if (e.mode == mode::kObj || e.mode == mode::kBtx) rep.out(msg::kListAddresses, unsigned{e.load}, unsigned{e.exec});
  }
  rep.out(msg::kNewline);
}

// Free blocks are the blocks the system record does not count as used; a
// count of used blocks beyond the total leaves none.
unsigned free_blocks(const Geometry& g) {
  return g.used_blocks < g.total_blocks ? static_cast<unsigned>(g.total_blocks - g.used_blocks) : 0;
}

// The entries of the first directory, and in a recursive listing those of
// each directory below it inside its entry, walked with a stack of our own.
void write_entries(JsonWriter& w, const Listing& l) {
  w.key("entries").begin_array();
  std::vector<std::pair<size_t, size_t>> stack{{0, 0}};  // (directory, next entry)
  while (!stack.empty()) {
    auto& [d, next] = stack.back();
    const std::vector<ListedEntry>& entries = l.directories[d].entries;
    if (next == entries.size()) {
      w.end_array();
      stack.pop_back();
      if (!stack.empty()) w.end_object();
      continue;
    }
    const ListedEntry& e = entries[next++];
    w.begin_object();
    write_entry_members(w, e, true);
    if (e.listing == ListedEntry::kNone) {
      w.end_object();
      continue;
    }
    w.key("entries");
    if (l.directories[static_cast<size_t>(e.listing)].refused) {
      w.null().end_object();
      continue;
    }
    w.begin_array();
    stack.emplace_back(static_cast<size_t>(e.listing), 0);
  }
}

void write_disk(JsonWriter& w, const DiskFacts& d) {
  w.key("name").text(shown_volume_text(d.name, ArgKind::kVolumeName));
  w.key("type").text(d88_disk_type_text(d.type));
  w.key("write_protected").boolean(d.write_protected);
}

void write_image(JsonWriter& w, const std::string& image_name, const Container& c) {
  w.key("image").begin_object();
  w.key("path").text(image_name);
  w.key("container").text(container_kind_name(c.kind));
  w.key("part");
  if (c.kind == ContainerKind::kHdd) {
    w.number(c.index + 1);
  } else {
    w.null();
  }
  w.key("disk");
  if (c.kind == ContainerKind::kD88) {
    w.begin_object();
    w.key("number").number(c.index + 1);
    w.key("count").number(static_cast<int64_t>(c.disks.size()));
    write_disk(w, d88_disk_facts(c.d88, static_cast<unsigned>(c.index + 1)));
    w.end_object();
  } else {
    w.null();
  }
  w.end_object();
}

void write_volume(JsonWriter& w, const Geometry& g) {
  w.key("volume").begin_object();
  w.key("records_per_block").number(g.records_per_block);
  w.key("blocks").number(g.total_blocks);
  w.key("used_blocks").number(g.used_blocks);
  w.key("free_blocks").number(free_blocks(g));
  w.key("free_bytes").number(int64_t{free_blocks(g)} * g.bytes_per_block);
  w.key("reserved_records").number(g.reserved_records);
  w.end_object();
}

void write_check(JsonWriter& w, const CheckReport& check) {
  w.key("check").begin_object();
  w.key("ok").boolean(check.sound);
  w.key("messages").begin_array();
  for (const Line& line : check.lines.lines()) {
    if (line.stream != Stream::kTrace) w.text(readable_text(line));
  }
  w.end_array();
  // Blocks files hold that the bitmap shows free: no fault of the check
  // ("ok" as its verdict, the exit status, has it), but E's finding.
  w.key("free_in_bitmap").begin_array();
  for (const FreeInBitmap& free : check.free_in_bitmap) {
    w.begin_object().key("path").text(shown_volume_text(free.path, ArgKind::kVolumePath));
    w.key("blocks").begin_array().number(free.blocks.front()).number(free.blocks.back()).end_array();
    w.end_object();
  }
  w.end_array().end_object();
}

// A text, or null for none.
void write_path(JsonWriter& w, const std::optional<std::string>& path) {
  if (path) {
    w.text(shown_volume_text(*path, ArgKind::kVolumePath));
  } else {
    w.null();
  }
}

void write_records(JsonWriter& w, const std::optional<RecordSpan>& records) {
  if (records) {
    w.begin_array().number(records->first).number(records->last).end_array();
  } else {
    w.null();
  }
}

void write_findings(JsonWriter& w, const Examination& exam) {
  w.key("findings").begin_array();
  for (const Finding& f : exam.findings) {
    w.begin_object();
    w.key("message").text(readable_text(f.message));
    w.key("reason").text(readable_text(f.reason));
    w.key("path");
    write_path(w, f.path);
    w.key("records");
    write_records(w, f.records);
    w.key("fixable").boolean(f.fixable);
    w.end_object();
  }
  w.end_array();
}

}  // namespace

void report_listing(const Listing& listing, bool long_listing, Report& rep) {
  for (size_t i = 0; i < listing.directories.size(); ++i) {
    const ListedDirectory& d = listing.directories[i];
    if (d.refused) {
      // The check's line, which has told the fault already.
      Line line = make_line(Stream::kErr, msg::kSubdirectoryError, d.path);
      line.of_check = true;
      rep.add(std::move(line));
      continue;
    }
    if (i > 0) rep.out(msg::kListHeading, d.path);
    for (const ListedEntry& e : d.entries) report_entry(e, long_listing, rep);
  }
  if (long_listing) {
    const Geometry& g = listing.geometry;
    const unsigned free = free_blocks(g);
    rep.out(msg::kListFree, free * static_cast<unsigned>(g.bytes_per_block), free, static_cast<unsigned>(g.total_blocks));
  }
}

std::string listing_document(const std::string& image_name, const Container& container, const CheckReport& check,
                             const Listing& listing) {
  JsonWriter w;
  size_t entries = 0;
  for (const ListedDirectory& d : listing.directories) entries += d.entries.size();
  w.reserve(1024 + 256 * entries);  // an entry takes some 240 bytes
  w.begin_object().key("format").number(1);
  write_image(w, image_name, container);
  write_volume(w, listing.geometry);
  write_check(w, check);
  w.key("path").text(shown_volume_text(listing.directories.front().path, ArgKind::kVolumePath));
  write_entries(w, listing);
  w.end_object();
  return w.finish();
}

std::string examination_document(const std::string& image_name, const Container& container, const Geometry& geometry,
                                 const Repair& repair) {
  JsonWriter w;
  w.begin_object().key("format").number(1);
  write_image(w, image_name, container);
  write_volume(w, geometry);
  write_findings(w, repair.after);
  w.key("fixed").begin_array();
  for (const Mend& m : repair.mends) {
    w.begin_object().key("path");
    write_path(w, m.path);
    w.key("records");
    write_records(w, m.records);
    w.end_object();
  }
  w.end_array().end_object();
  return w.finish();
}

std::string disks_document(const std::string& image_name, const std::vector<DiskFacts>& disks) {
  JsonWriter w;
  w.begin_object().key("format").number(1);
  w.key("image").begin_object();
  w.key("path").text(image_name);
  w.key("container").text("D88");
  w.key("disks").begin_array();
  for (const DiskFacts& d : disks) {
    w.begin_object().key("number").number(d.number);
    write_disk(w, d);
    w.key("size").number(d.size);
    w.end_object();
  }
  w.end_array().end_object().end_object();
  return w.finish();
}

}  // namespace tarnwick
