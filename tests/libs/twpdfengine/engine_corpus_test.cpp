// A few files of the shared metafile corpus through the vector PDF path,
// rasterised by pdftoppm, against the raster renderer: charts, text,
// modelling diagrams, and a page whose XOR drawing goes through the raster
// fallback. The whole corpus is measured by tools/pdfcompare.
#include <gtest/gtest.h>

#include "emf_render.h"
#include "image_compare.h"
#include "pdf_render.h"
#include "tw_test.h"

namespace {

TEST(PdfEngineCorpus, PdfPagesLookLikeTheRasterRenderings) {
  auto shared = twtest::SharedDir();
  if (shared.empty()) GTEST_SKIP() << "../shared is absent: the corpus comparison is not run";
  twtest::TempRoot root;
  for (const char* name : {"emf/test-001.emf", "emf/test-022.emf", "emf/test-176.emf", "emf/test-118.emf",
                           "emf-ea/EA-test-file-004.emf"}) {
    auto emf = shared / "corpus" / name;
    twtools::RgbImage raster, pdf;
    twtools::RenderOptions options;  // 150 DPI, as the references
    ASSERT_TRUE(twtools::RenderEmfFile(emf, options, raster).rendered) << name;
    auto rendered = twtools::RenderEmfThroughPdf(emf, raster.width, raster.height, root.Dir() / "work", pdf);
    ASSERT_TRUE(rendered.rendered) << name << ": " << rendered.error;
    twtools::CompareResult c = twtools::CompareImages(pdf, raster);
    EXPECT_GE(c.coarse, 0.9) << name;
  }
}

}  // namespace
