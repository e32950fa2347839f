// Writes the ZIP target's seed archives into the folder it is given: small archives
// of each kind the reader meets, built by the unit tests' archive builder.
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "testing/zip_builder.h"

using ostrane::testing::ZipBuilder;
using ostrane::testing::ZipTestEntry;

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: make_zip_seeds FOLDER\n");
    return 2;
  }
  const std::string text = "offer installer bytes, offer installer bytes, offer installer bytes\n";
  const struct {
    const char* name;
    std::vector<unsigned char> bytes;
  } seeds[] = {
      {"empty", ZipBuilder().Build()},
      {"stored", ZipBuilder().Add("setup.exe", text, 0).Build()},
      {"deflated", ZipBuilder().Add("setup.exe", text).Build()},
      {"folders",
       ZipBuilder().Add("app/", "", 0).Add("app/bin/setup.exe", text).Add("app\\readme.txt", "hi", 0).Build()},
      {"utf8_name", ZipBuilder().Add(ZipTestEntry{"caf\xc3\xa9/setup.exe", text, 8, 1 << 11}).Build()},
      {"comment", ZipBuilder().Add("a.txt", "a", 0).Build("a comment after the directory")},
      {"lying_size", ZipBuilder().Add(ZipTestEntry{"big.bin", text, 8, 0, 1u << 30}).Build()},
      {"dot_dot", ZipBuilder().Add("../evil.exe", text, 0).Build()},
      {"zip64", ZipBuilder()
                    .Add(ZipTestEntry{.name = "app/setup.exe", .data = text, .zip64 = true})
                    .Add(ZipTestEntry{.name = "readme.txt", .data = "hi", .method = 0, .zip64 = true})
                    .BuildZip64()},
      {"deflate64", ZipBuilder().Add("setup.exe", text, 9).Build()},
      {"unicode_path", ZipBuilder()
                           .Add(ZipTestEntry{.name = "setup.exe",
                                             .data = text,
                                             .centralExtra = ostrane::testing::ExtraField(
                                                 0x7075, std::string("\x01\0\0\0\0setup.exe", 14))})
                           .Build()},
      {"symlink", ZipBuilder()
                      .Add(ZipTestEntry{.name = "link",
                                        .data = "../evil.exe",
                                        .method = 0,
                                        .madeBy = 0x031E,
                                        .externalAttributes = 0120777u << 16})
                      .Build()},
  };
  for (const auto& seed : seeds) {
    std::ofstream out(std::string(argv[1]) + "/" + seed.name + ".zip", std::ios::binary);
    out.write(reinterpret_cast<const char*>(seed.bytes.data()), static_cast<std::streamsize>(seed.bytes.size()));
    if (!out) {
      std::fprintf(stderr, "cannot write %s\n", seed.name);
      return 1;
    }
  }
  return 0;
}
