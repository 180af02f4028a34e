#include "output/emf/vector_page_seam.h"

namespace tw::emf {

BOOL PrepareReplayedPage(CTWJob&, HENHMETAFILE page, TarnwickDEVMODE&, HENHMETAFILE& result) {
  result = page;
  return TRUE;
}

}  // namespace tw::emf
