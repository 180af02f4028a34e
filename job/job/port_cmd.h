// The driver's command stream: a 16-byte header and a payload per command.
// A complete command applies itself to the job (UpdateJob).
#pragma once

#include <cstddef>
#include <memory>

#include "tw/wintypes.h"

#define TARNWICK_CMD_FLAG 0x8000F44Fu

#define PORT_CMD_START_DOC 1
#define PORT_CMD_START_PAGE 2
#define PORT_CMD_END_PAGE 3
#define PORT_CMD_END_DOC 4
#define PORT_CMD_WRITE_TEXT_OUT 5
#define PORT_CMD_END_PAGE_RAW 6

#pragma pack(push, 1)
struct PORT_COMMAND {
  DWORD dwFlag;         // TARNWICK_CMD_FLAG
  DWORD dwCommandSize;  // sizeof(PORT_COMMAND)
  DWORD dwCommandType;  // PORT_CMD_*
  DWORD dwDataSize;     // payload bytes that follow
};
#pragma pack(pop)
static_assert(sizeof(PORT_COMMAND) == 16);
static_assert(offsetof(PORT_COMMAND, dwDataSize) == 12);

// Largest payload a command may announce. A page beyond this is not a real
// page; its bytes are dropped like a block that cannot be allocated.
inline constexpr DWORD kMaxCommandPayload = 256u * 1024u * 1024u;
// Payload of START_DOC and START_PAGE: the job's DEVMODE record.
inline constexpr DWORD kDevModePayload = 6879;

class CPortJob;

// "PORT_CMD_START_DOC" and so on; "PORT_CMD_UNKNOWN" for other codes.
const WCHAR* PortCommandName(DWORD commandType);

class CPortCmd {
 public:
  // A new command for a valid header, null otherwise.
  static std::unique_ptr<CPortCmd> CreateCmd(const PORT_COMMAND* header);

  virtual BOOL UpdateJob(CPortJob* job) = 0;
  virtual ~CPortCmd();

  explicit CPortCmd(const PORT_COMMAND& header) : m_sCommand(header) {}
  CPortCmd(const CPortCmd&) = delete;
  CPortCmd& operator=(const CPortCmd&) = delete;

  // Takes the next payload bytes; returns how many were used. Bytes that
  // cannot be stored (no block) are used all the same.
  DWORD AddPayload(const BYTE* data, DWORD count);
  // The payload could not be stored (too large to be real, or out of memory).
  bool PayloadDropped() const { return m_bDropped; }
  bool ExpectsPayload() const { return m_dwReceived < m_sCommand.dwDataSize; }
  const PORT_COMMAND& Header() const { return m_sCommand; }
  HGLOBAL Data() const { return m_hData; }
  const WCHAR* Name() const { return PortCommandName(m_sCommand.dwCommandType); }

 protected:
  // There is a job and its document takes this command now; a command out of
  // order leaves an error line and does not run.
  bool Admitted(CPortJob* job) const;
  // The payload is a complete DEVMODE record; traces when the size is wrong.
  bool HasDevModePayload() const;

  PORT_COMMAND m_sCommand;
  HGLOBAL m_hData = nullptr;
  void* m_pData = nullptr;
  DWORD m_dwReceived = 0;
  bool m_bDropped = false;  // the payload block could not be had
};

class CPortCmdStartDoc final : public CPortCmd {
 public:
  using CPortCmd::CPortCmd;
  BOOL UpdateJob(CPortJob* job) override;
};
class CPortCmdStartPage final : public CPortCmd {
 public:
  using CPortCmd::CPortCmd;
  BOOL UpdateJob(CPortJob* job) override;
};
class CPortCmdEndPage final : public CPortCmd {
 public:
  using CPortCmd::CPortCmd;
  BOOL UpdateJob(CPortJob* job) override;
};
class CPortCmdEndDoc final : public CPortCmd {
 public:
  using CPortCmd::CPortCmd;
  BOOL UpdateJob(CPortJob* job) override;
};
class CPortCmdWriteText final : public CPortCmd {
 public:
  using CPortCmd::CPortCmd;
  BOOL UpdateJob(CPortJob* job) override;
};
class CPortCmdEndPageRaw final : public CPortCmd {
 public:
  using CPortCmd::CPortCmd;
  BOOL UpdateJob(CPortJob* job) override;
};
