// The cipher exports of the built Tessel.dll (CryptoAPI path) against the
// portable core: both must give the same bytes.
#include "tessel/cipher.h"

#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>

#include "platform/win32/scoped_handles.h"
#include "tessel/cipher_core.h"
#include "tessel/test_library.h"

namespace tessel {
namespace {

using platform::win32::ScopedFile;
using platform::win32::ScopedKey;
using testing::ExportAs;
using testing::FileExists;
using testing::PathExport;
using testing::ReadFileBytes;
using testing::ScratchFolder;
using testing::StringExport;
using testing::WriteFileBytes;

constexpr size_t kGuarded = 128;
constexpr char kGuard = 0x5c;

// A caller's buffer: the text, then guard bytes up to kGuarded.
struct Buffer {
  explicit Buffer(const std::string& text) {
    std::memset(bytes, kGuard, sizeof bytes);
    std::memcpy(bytes, text.data(), text.size());
    bytes[text.size()] = '\0';
  }
  std::string All() const { return std::string(bytes, sizeof bytes); }
  char bytes[kGuarded];
};

std::string RandomText(std::mt19937& random, size_t length) {
  std::uniform_int_distribution<int> byte(1, 255);
  std::string text(length, '\0');
  for (char& c : text) c = static_cast<char>(byte(random));
  return text;
}

std::string RandomBytes(std::mt19937& random, size_t length) {
  std::uniform_int_distribution<int> byte(0, 255);
  std::string bytes(length, '\0');
  for (char& c : bytes) c = static_cast<char>(byte(random));
  return bytes;
}

// The file cipher done portably: one keystream over the whole content.
std::string PortableFileCipher(std::string content) {
  NewKeystream().Apply(reinterpret_cast<uint8_t*>(content.data()), content.size());
  return content;
}

class CipherExportsTest : public ::testing::Test {
 protected:
  StringExport encrypt_string_ = ExportAs<StringExport>("EncryptString");
  StringExport decrypt_string_ = ExportAs<StringExport>("DecryptString");
  StringExport encrypt_alias_ = ExportAs<StringExport>("Encrypt_String");
  StringExport decrypt_alias_ = ExportAs<StringExport>("Decrypt_String");
  PathExport encrypt_file_ = ExportAs<PathExport>("Encrypt_File");
  PathExport decrypt_file_ = ExportAs<PathExport>("Decrypt_File");
};

TEST_F(CipherExportsTest, StringsAgreeWithThePortableCipher) {
  // Every length from 1 to 80 once; each call costs the key store's preparation.
  std::mt19937 random(1);
  for (int n = 0; n < 80; ++n) {
    const std::string text = RandomText(random, 1 + n);
    Buffer service(text), portable(text);
    const int32_t service_length = encrypt_string_(service.bytes);
    EncryptBlockPortable(portable.bytes);
    ASSERT_EQ(service.All(), portable.All()) << "text " << n;
    EXPECT_EQ(service_length, static_cast<int32_t>(std::strlen(portable.bytes))) << "text " << n;
    EXPECT_EQ(service.bytes[80], '\0') << "text " << n;
  }
}

TEST_F(CipherExportsTest, BlocksDecipherAsThePortableCipherDoes) {
  std::mt19937 random(2);
  for (int n = 0; n < 40; ++n) {
    const std::string block = RandomText(random, 80);
    Buffer service(block), portable(block);
    const int32_t service_length = decrypt_string_(service.bytes);
    const int32_t portable_length = DecryptBlockPortable(portable.bytes);
    ASSERT_EQ(service.All(), portable.All()) << "block " << n;
    EXPECT_EQ(service_length, portable_length) << "block " << n;
  }
}

TEST_F(CipherExportsTest, RoundTripsAndAliasesAreIdentical) {
  std::mt19937 random(3);
  for (int n = 0; n < 20; ++n) {
    const std::string text = RandomText(random, 1 + (n * 13) % 80);
    Buffer plain(text), alias(text);
    const int32_t length = encrypt_string_(plain.bytes);
    EXPECT_EQ(encrypt_alias_(alias.bytes), length) << "text " << n;
    ASSERT_EQ(plain.All(), alias.All()) << "text " << n;
    const int32_t plain_length = decrypt_string_(plain.bytes);
    EXPECT_EQ(decrypt_alias_(alias.bytes), plain_length) << "text " << n;
    EXPECT_EQ(plain.All(), alias.All()) << "text " << n;
    EXPECT_EQ(std::string(plain.bytes), text) << "text " << n;
    EXPECT_EQ(plain_length, static_cast<int32_t>(text.size())) << "text " << n;
  }
}

TEST_F(CipherExportsTest, SameTextTwiceGivesTheSameBlock) {
  Buffer first("administrator"), second("administrator");
  encrypt_string_(first.bytes);
  encrypt_string_(second.bytes);
  EXPECT_EQ(first.All(), second.All());
}

TEST_F(CipherExportsTest, BlocksAgreeWhereBothTextsArePadding) {
  Buffer shorter("ab"), longer("abcdefghijklmnop");
  encrypt_string_(shorter.bytes);
  encrypt_string_(longer.bytes);
  EXPECT_EQ(std::string(shorter.bytes + 16, 64), std::string(longer.bytes + 16, 64));
}

TEST_F(CipherExportsTest, EmptyTextIsReturnedAsItWas) {
  for (StringExport function : {encrypt_string_, decrypt_string_, encrypt_alias_, decrypt_alias_}) {
    Buffer buffer("");
    const std::string before = buffer.All();
    EXPECT_EQ(function(buffer.bytes), 0);
    EXPECT_EQ(buffer.All(), before);
  }
}

TEST_F(CipherExportsTest, TextOverEightyCharactersIsRefusedWithoutOverrun) {
  const std::string text(100, 'w');
  Buffer buffer(text);
  const std::string before = buffer.All();
  EXPECT_EQ(encrypt_string_(buffer.bytes), 100);
  EXPECT_EQ(buffer.All(), before);
}

TEST_F(CipherExportsTest, EightyCharacterTextEndsWithTheZeroByteAtEighty) {
  const std::string text(80, 'k');
  Buffer buffer(text);
  encrypt_string_(buffer.bytes);
  EXPECT_EQ(buffer.bytes[80], '\0');
  EXPECT_EQ(buffer.bytes[81], kGuard);
  EXPECT_EQ(decrypt_string_(buffer.bytes), 80);
  EXPECT_EQ(std::string(buffer.bytes), text);
}

TEST_F(CipherExportsTest, FilesAgreeWithThePortableCipherAndRoundTrip) {
  ScratchFolder folder;
  std::mt19937 random(4);
  for (size_t size : {0u, 1u, 999u, 1000u, 1001u, 2000u, 2500u, 65537u, 5u * 1024 * 1024 + 123}) {
    const std::string path = folder.Path("data.tbl");
    const std::string plain = RandomBytes(random, size);
    WriteFileBytes(path, plain);
    ASSERT_EQ(encrypt_file_(path.c_str()), -1) << "size " << size;
    const std::string ciphered = ReadFileBytes(path);
    ASSERT_EQ(ciphered.size(), size);
    EXPECT_TRUE(ciphered == PortableFileCipher(plain)) << "size " << size;
    EXPECT_FALSE(FileExists(folder.Path("data.tbz"))) << "size " << size;
    ASSERT_EQ(decrypt_file_(path.c_str()), -1) << "size " << size;
    EXPECT_TRUE(ReadFileBytes(path) == plain) << "size " << size;
  }
}

TEST_F(CipherExportsTest, DecryptFileIsUndoneByEncryptFile) {
  ScratchFolder folder;
  const std::string path = folder.Path("USER.TBL");
  std::mt19937 random(5);
  const std::string plain = RandomBytes(random, 3000);
  WriteFileBytes(path, plain);
  ASSERT_EQ(decrypt_file_(path.c_str()), -1);
  EXPECT_TRUE(ReadFileBytes(path) == PortableFileCipher(plain));
  ASSERT_EQ(encrypt_file_(path.c_str()), -1);
  EXPECT_TRUE(ReadFileBytes(path) == plain);
  ASSERT_EQ(encrypt_file_(path.c_str()), -1);
  ASSERT_EQ(encrypt_file_(path.c_str()), -1);
  EXPECT_TRUE(ReadFileBytes(path) == plain);
}

TEST_F(CipherExportsTest, PathEndingInZIsNotItsOwnTemporary) {
  ScratchFolder folder;
  for (const char* name : {"archive.xyz", "ARCHIVE.XYZ"}) {
    const std::string path = folder.Path(name);
    const std::string plain = "text of a file whose name ends in z";
    WriteFileBytes(path, plain);
    ASSERT_EQ(encrypt_file_(path.c_str()), -1) << name;
    EXPECT_EQ(ReadFileBytes(path), PortableFileCipher(plain)) << name;
    EXPECT_FALSE(FileExists(path + "z")) << name;
    ASSERT_EQ(decrypt_file_(path.c_str()), -1) << name;
    EXPECT_EQ(ReadFileBytes(path), plain) << name;
    DeleteFileA(path.c_str());
  }
}

TEST_F(CipherExportsTest, MissingFileFailsWithoutATemporary) {
  ScratchFolder folder;
  EXPECT_EQ(encrypt_file_(folder.Path("absent.tbl").c_str()), 0);
  EXPECT_FALSE(FileExists(folder.Path("absent.tbz")));
}

TEST_F(CipherExportsTest, UncreatableTemporaryLeavesTheFileUnchanged) {
  ScratchFolder folder;
  const std::string path = folder.Path("locked.tbl");
  WriteFileBytes(path, "unchanged");
  ASSERT_TRUE(CreateDirectoryA(folder.Path("locked.tbz").c_str(), nullptr));
  EXPECT_EQ(encrypt_file_(path.c_str()), 0);
  EXPECT_EQ(ReadFileBytes(path), "unchanged");
}

TEST_F(CipherExportsTest, UnreplaceableSourceIsReportedAndKept) {
  ScratchFolder folder;
  const std::string path = folder.Path("held.tbl");
  WriteFileBytes(path, "held content");
  // Another reader that does not share deletion keeps the file from being replaced.
  ScopedFile reader(CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, nullptr));
  ASSERT_TRUE(reader.valid());
  EXPECT_EQ(encrypt_file_(path.c_str()), 0);
  reader.Reset();
  EXPECT_EQ(ReadFileBytes(path), "held content");
}

// DeleteRegistryTree, on a private key of the test.
class DeleteRegistryTreeTest : public ::testing::Test {
 protected:
  static constexpr char kRoot[] = "Software\\TesselTest";
  void SetUp() override { DeleteRegistryTree(HKEY_CURRENT_USER, kRoot); }
  void TearDown() override { DeleteRegistryTree(HKEY_CURRENT_USER, kRoot); }
  static void Create(const std::string& path) {
    ScopedKey key;
    ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS,
                              nullptr, key.receive(), nullptr),
              ERROR_SUCCESS);
    RegSetValueExA(key.get(), "v", 0, REG_SZ, reinterpret_cast<const BYTE*>("x"), 2);
  }
  static bool Exists(const std::string& path) {
    ScopedKey key;
    return RegOpenKeyExA(HKEY_CURRENT_USER, path.c_str(), 0, KEY_READ, key.receive()) ==
           ERROR_SUCCESS;
  }
};

TEST_F(DeleteRegistryTreeTest, RemovesTheKeyWithEverythingBelow) {
  const std::string root = kRoot;
  Create(root + "\\a\\b\\c");
  Create(root + "\\a\\d");
  Create(root + "\\e");
  Create(root + "Sibling");
  EXPECT_EQ(DeleteRegistryTree(HKEY_CURRENT_USER, (root + "\\a").c_str()), 0);
  EXPECT_FALSE(Exists(root + "\\a"));
  EXPECT_TRUE(Exists(root + "\\e"));
  EXPECT_EQ(DeleteRegistryTree(HKEY_CURRENT_USER, kRoot), 0);
  EXPECT_FALSE(Exists(root));
  EXPECT_TRUE(Exists(root + "Sibling"));
  EXPECT_EQ(DeleteRegistryTree(HKEY_CURRENT_USER, (root + "Sibling").c_str()), 0);
}

TEST_F(DeleteRegistryTreeTest, EmptyOrMissingPath) {
  EXPECT_EQ(DeleteRegistryTree(HKEY_CURRENT_USER, ""), ERROR_BADKEY);
  EXPECT_EQ(DeleteRegistryTree(HKEY_CURRENT_USER, nullptr), ERROR_BADKEY);
  EXPECT_EQ(DeleteRegistryTree(HKEY_CURRENT_USER, "Software\\TesselTest\\absent"),
            ERROR_FILE_NOT_FOUND);
}

TEST(KeyStoreTest, PrepareKeyStoreSucceedsAndIsRepeatable) {
  EXPECT_TRUE(PrepareKeyStore());
  EXPECT_TRUE(PrepareKeyStore());
}

}  // namespace
}  // namespace tessel
