// Enhanced-metafile record structures (EMR_*), owned by the metafile area.
#pragma once
