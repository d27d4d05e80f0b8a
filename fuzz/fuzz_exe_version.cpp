// Version resources of executables: whole images (PE or NE) read through the
// byte-source interface, and bare version blocks walked in both layouts.
// The first byte chooses: 0 image, 1 32-bit block, 2 16-bit block.
#include <cstddef>
#include <cstdint>
#include <span>

#include "describe/ExeVersion.h"

namespace {

volatile size_t sink;

void Walk(const VersionTree& tree, const VersionNode& node, int depth) {
  sink = sink + tree.Text(node).size() + tree.Value(node).size() + node.key.size();
  if (depth >= 6) return;
  tree.ForEachChild(node, [&](const VersionNode& child) {
    Walk(tree, child, depth + 1);
    return true;
  });
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  std::span<const uint8_t> rest(data + 1, size - 1);
  switch (data[0] % 3) {
    case 0: {
      MemoryByteSource source(rest);
      VersionInfoReader reader;
      bool ok = reader.ReadVersion(source);
      std::string text = ok ? FormatVersionDescription(reader) : std::string();
      sink = sink + text.size() + reader.QueryVersionString("CompanyName").size();
      break;
    }
    default: {
      VersionTree tree(rest, data[0] % 3 == 1 ? VersionLayout::Wide : VersionLayout::Ansi);
      if (auto root = tree.Root()) Walk(tree, *root, 0);
      for (const char* path : {"\\", "\\VarFileInfo\\Translation", "\\StringFileInfo\\040904b0\\CompanyName"}) {
        if (auto node = tree.Find(path)) sink = sink + tree.Text(*node).size();
      }
      break;
    }
  }
  return 0;
}
