#include "render/emf/emf_image.h"

#include <windows.h>

CEMFImage::CEMFImage() = default;

CEMFImage::~CEMFImage() {
  if (m_hDIB) GlobalFree(m_hDIB);
  if (m_lpBmi) GlobalFree(m_lpBmi);
}
