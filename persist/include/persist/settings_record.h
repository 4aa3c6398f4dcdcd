// The 128-byte text record in which the host stores an instance's settings.
#ifndef KIVO_PERSIST_SETTINGS_RECORD_H
#define KIVO_PERSIST_SETTINGS_RECORD_H

#include <cstdint>

#include "contract/host_abi.h"
#include "instance/mixer_instance.h"
#include "instance/setting_facts.h"

// Writes the record: the eighteen values in stored order, separated by single
// spaces, cut after 128 characters, zero-filled.
void formatSettingsRecord(const MixerInstance &instance, char record[kSettingsRecordSize]);

// Reads a record into the instance; fields the text does not reach keep their values.
void parseSettingsRecord(const char record[kSettingsRecordSize], MixerInstance &instance);

extern "C" {
int32_t loadInstance(void *instance, const LoadState *state);
int32_t saveInstance(void *instance, const SaveState *state);
}

#endif
