// CEMFImage: renders one page of a job. Only its life cycle is built yet.
#pragma once

#include "tw/wintypes.h"

class CEMFImage {
 public:
  CEMFImage();
  ~CEMFImage();
  CEMFImage(const CEMFImage&) = delete;
  CEMFImage& operator=(const CEMFImage&) = delete;

  // The rendered page's bitmap and header; none before a page is rendered.
  HGLOBAL m_hDIB = nullptr;
  HGLOBAL m_lpBmi = nullptr;
};
