// Encryption levels and permissions, and appending to existing files (which
// must be readable PDFs and stay untouched when they are not).
#include <gtest/gtest.h>

#include "engine_test_util.h"

using namespace pdftest;
using twtest::QpdfClean;

namespace {

struct Level {
  int level;
  const char* revision;   // qpdf --show-encryption "R = n"
  const char* algorithm;  // pdfinfo's "algorithm:..."
};

class PdfEngineEncryption : public ::testing::TestWithParam<Level> {};

TEST_P(PdfEngineEncryption, LevelsGiveTheirAlgorithmAndThePermissionsAsked) {
  OutFolder out;
  Metafile page = TextPage({u"Secret text"});
  // Print allowed; modify, copy and annotate refused (the writer's flag 1).
  ASSERT_TRUE(WriteDocument(u"C:\\out\\enc.pdf", {&page}, [](CPDFInt& pdf, CPDF&) {
    ASSERT_TRUE(pdf.SetEncryptionW(GetParam().level, u"u", u"o"));
    pdf.SetUserPermissions(TRUE, FALSE, FALSE, FALSE);
  }));
  auto file = out.Dir() / "enc.pdf";
  EXPECT_TRUE(twtest::Tool("qpdf", "--check --password=u", file).status == 0);
  auto owner = twtest::Tool("qpdf", "--show-encryption --password=o", file).out;
  EXPECT_NE(owner.find(std::string("R = ") + GetParam().revision), std::string::npos) << owner;
  EXPECT_NE(owner.find("Supplied password is owner password"), std::string::npos) << owner;
  std::string info = twtest::PdfInfo(file, "Encrypted", "-upw u");
  EXPECT_EQ(info, std::string("yes (print:yes copy:no change:no addNotes:no algorithm:") + GetParam().algorithm + ")");
  // Without the password the text cannot be read; with it, it can.
  EXPECT_NE(twtest::RunTool("pdftotext " + twtest::Quote(file.string()) + " -").status, 0);
  EXPECT_NE(twtest::PdfText(file, "-upw u").find("Secret text"), std::string::npos);
}

INSTANTIATE_TEST_SUITE_P(Levels, PdfEngineEncryption,
                         ::testing::Values(Level{1, "2", "RC4"}, Level{2, "3", "RC4"}, Level{3, "4", "AES"},
                                           Level{4, "6", "AES-256"}),
                         [](const auto& info) { return "Level" + std::to_string(info.param.level); });

TEST(PdfEngineSecurity, OwnerPasswordAloneOpensFreelyWithTheFlagsGiven) {
  OutFolder out;
  Metafile page = TextPage({u"Open to all"});
  ASSERT_TRUE(WriteDocument(u"C:\\out\\owner.pdf", {&page}, [](CPDFInt& pdf, CPDF&) {
    pdf.SetEncryptionW(3, u"", u"o");
    pdf.SetUserPermissions(TRUE, TRUE, TRUE, TRUE);
  }));
  auto file = out.Dir() / "owner.pdf";
  EXPECT_EQ(twtest::PdfInfo(file, "Encrypted"), "yes (print:yes copy:yes change:yes addNotes:yes algorithm:AES)");
  EXPECT_NE(twtest::PdfText(file).find("Open to all"), std::string::npos);
}

TEST(PdfEngineSecurity, UnicodePasswordsOpenAes256Documents) {
  OutFolder out;
  Metafile page = TextPage({u"Unicode"});
  ASSERT_TRUE(WriteDocument(u"C:\\out\\unicode.pdf", {&page}, [](CPDFInt& pdf, CPDF&) {
    pdf.SetEncryptionW(4, u"p\u00e4ss\u20ac", u"\u043f\u0430\u0440\u043e\u043b\u044c");
  }));
  auto file = out.Dir() / "unicode.pdf";
  EXPECT_EQ(twtest::Tool("qpdf", "--check --password=" + twtest::Quote("p\xC3\xA4ss\xE2\x82\xAC"), file).status, 0);
  auto owner = twtest::Tool("qpdf", "--show-encryption --password=" +
                                        twtest::Quote("\xD0\xBF\xD0\xB0\xD1\x80\xD0\xBE\xD0\xBB\xD1\x8C"),
                            file).out;
  EXPECT_NE(owner.find("Supplied password is owner password"), std::string::npos) << owner;
}

TEST(PdfEngineSecurity, PdfADocumentsAreNeverEncrypted) {
  OutFolder out;
  Metafile page = TextPage({u"Archive"});
  ASSERT_TRUE(WriteDocument(u"C:\\out\\a.pdf", {&page}, [](CPDFInt& pdf, CPDF&) {
    pdf.SetPdfType(2);
    pdf.SetEncryptionW(4, u"u", u"o");
  }));
  auto file = out.Dir() / "a.pdf";
  EXPECT_TRUE(QpdfClean(file));
  EXPECT_EQ(twtest::PdfInfo(file, "Encrypted"), "no");
}

// A 3-page PDF written by the engine.
void writeThreePages(const std::u16string& name) {
  Metafile a = TextPage({u"Old one"}), b = TextPage({u"Old two"}), c = TextPage({u"Old three"});
  ASSERT_TRUE(WriteDocument(name, {&a, &b, &c}));
}

TEST(PdfEngineAppend, NewPagesFollowTheExistingOnesAndCoversGoBeforeTheJobsPages) {
  OutFolder out;
  writeThreePages(u"C:\\out\\doc.pdf");
  Metafile n1 = TextPage({u"New one"}), n2 = TextPage({u"New two"}), cover = TextPage({u"Late cover"});
  Engine e;
  e.doc->SetAppend(TRUE);
  ASSERT_TRUE(e.doc->StartSavePDFFileW(u"C:\\out\\doc.pdf"));
  ASSERT_EQ(e.doc->GetNumberOfPages(), 3);
  ASSERT_TRUE(e.AddMetafilePage(n1.h, 4));
  ASSERT_TRUE(e.AddMetafilePage(n2.h, 5));
  // A cover made at the end of the job: before the job's pages, after the old ones.
  ASSERT_TRUE(e.AddMetafilePage(cover.h, 4));
  EXPECT_EQ(e.doc->GetNumberOfPages(), 6);
  ASSERT_TRUE(e.doc->EndSavePDFFile());
  auto file = out.Dir() / "doc.pdf";
  EXPECT_TRUE(QpdfClean(file));
  const char* expected[] = {"Old one", "Old two", "Old three", "Late cover", "New one", "New two"};
  for (int p = 1; p <= 6; ++p)
    EXPECT_NE(twtest::PdfText(file, "-f " + std::to_string(p) + " -l " + std::to_string(p)).find(expected[p - 1]),
              std::string::npos)
        << "page " << p;
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(out.Dir()), {}), 1) << "temporary files left";
}

TEST(PdfEngineAppend, FilesThatCannotBeAppendedToFailTheStartAndStayAsTheyWere) {
  OutFolder out;
  auto text = out.Dir() / "notes.pdf";
  std::ofstream(text) << "not a PDF at all\n";
  auto before = twtest::ReadBytes(text);
  Engine e;
  e.doc->SetAppend(TRUE);
  EXPECT_FALSE(e.doc->StartSavePDFFileW(u"C:\\out\\notes.pdf"));
  EXPECT_EQ(e.doc->GetLastError(), PDF_ERROR_NOT_PDF);
  EXPECT_EQ(twtest::ReadBytes(text), before);

  // Encrypted with a password the job does not have.
  Metafile page = TextPage({u"Locked"});
  ASSERT_TRUE(WriteDocument(u"C:\\out\\locked.pdf", {&page}, [](CPDFInt& pdf, CPDF&) {
    pdf.SetEncryptionW(4, u"secret", u"owner");
  }));
  auto locked = out.Dir() / "locked.pdf";
  auto lockedBytes = twtest::ReadBytes(locked);
  Engine f;
  f.doc->SetAppend(TRUE);
  EXPECT_FALSE(f.doc->StartSavePDFFileW(u"C:\\out\\locked.pdf"));
  EXPECT_EQ(f.doc->GetLastError(), PDF_ERROR_ENCRYPTED);
  EXPECT_EQ(twtest::ReadBytes(locked), lockedBytes);
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(out.Dir()), {}), 2) << "temporary files left";
}

TEST(PdfEngineAppend, TheJobsPasswordOpensAnEncryptedFileToAppendTo) {
  OutFolder out;
  Metafile page = TextPage({u"First"}), more = TextPage({u"Second"});
  auto configure = [](CPDFInt& pdf, CPDF&) { pdf.SetEncryptionW(3, u"secret", u"owner"); };
  ASSERT_TRUE(WriteDocument(u"C:\\out\\locked.pdf", {&page}, configure));
  ASSERT_TRUE(WriteDocument(u"C:\\out\\locked.pdf", {&more}, [&](CPDFInt& pdf, CPDF& doc) {
    configure(pdf, doc);
    doc.SetAppend(TRUE);
  }));
  auto file = out.Dir() / "locked.pdf";
  EXPECT_EQ(twtest::PdfInfo(file, "Pages", "-upw secret"), "2");
  EXPECT_NE(twtest::PdfText(file, "-upw secret -f 2 -l 2").find("Second"), std::string::npos);
}

TEST(PdfEngineAppend, AnAbandonedAppendLeavesTheFileByteForByte) {
  OutFolder out;
  writeThreePages(u"C:\\out\\doc.pdf");
  auto file = out.Dir() / "doc.pdf";
  auto before = twtest::ReadBytes(file);
  Metafile page = TextPage({u"Cancelled"});
  {
    Engine e;
    e.doc->SetAppend(TRUE);
    ASSERT_TRUE(e.doc->StartSavePDFFileW(u"C:\\out\\doc.pdf"));
    ASSERT_TRUE(e.AddMetafilePage(page.h, 4));
  }
  EXPECT_EQ(twtest::ReadBytes(file), before);
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(out.Dir()), {}), 1) << "temporary files left";
  // Appending to a file that is not there makes it.
  ASSERT_TRUE(WriteDocument(u"C:\\out\\fresh.pdf", {&page}, [](CPDFInt&, CPDF& doc) { doc.SetAppend(TRUE); }));
  EXPECT_EQ(twtest::PdfInfo(out.Dir() / "fresh.pdf", "Pages"), "1");
}

}  // namespace
