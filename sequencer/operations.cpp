// The operation table. One row per operation id: the builder that ST_START
// runs and the evaluator that ST_RECV runs once bytes arrived. A row is
// added here for every operation; an id without a row stops the run with
// the default error.
#include "sequencer/operations.h"

#include "protocol/memory_requests.h"
#include "protocol/requests.h"
#include "resources/resource_ids.h"
#include "sequencer/capture.h"
#include "sequencer/seqinfo.h"
#include "sequencer/upgrade.h"

namespace {

// Version: code "05", no payload. Its answer is shown by the intake alone.
void BuildVersion(TTYINFO*, OUTGOING* out) {
    out->count = BuildFramedRequest("05", "", g_seq.expect_seq, out->bytes);
}

const OPERATION kOperations[] = {
    {BTN_VERSION, BuildVersion, nullptr},
    {BTN_RESET3856, BuildRawReset, EvaluateCapture},
    {ID_RESET_RSVP, nullptr, EvaluateResetRsvp},
    {BTN_RESETCMD, BuildResetRequest, EvaluateResetRsvp},
    {BTN_CAP, BuildCapture, EvaluateCapture},
    {ID_FWUG_INPROCESS, BuildWritePacket, EvaluateUpgradeAnswer},
    {BTN_GO, BuildGo, EvaluateGo},
    {IDM_BL_GET_CRC, BuildCatalogueRequest, EvaluateBlGetCrc},
    {IDM_APP_RESET, BuildCatalogueRequest, EvaluateAppReset},
    {IDM_READ_FLASH, BuildReadFlashRequest, EvaluateReadFlash},
    {IDM_RESET_FLASH_VARS, BuildCatalogueRequest, nullptr},
    {IDM_SEND_ONE_WRITE, BuildWritePacket, EvaluateSendOneWrite},
    {IDM_GET_SEQ_NUM, BuildCatalogueRequest, nullptr},
    {IDM_GET_BL_ATTR, BuildCatalogueRequest, EvaluateBlAttributes},
    {IDM_READ_EEPROM, BuildReadEepromRequest, EvaluateReadEeprom},
    {IDM_WRITE_EEPROM, BuildWriteEepromRequest, nullptr},
};

}  // namespace

const OPERATION* FindOperation(int32_t id) {
    for (const OPERATION& op : kOperations) {
        if (op.id == id) return &op;
    }
    return nullptr;
}
