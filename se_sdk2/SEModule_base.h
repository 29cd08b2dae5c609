// The base object of every audio module: the record the host holds, the dispatcher behind it,
// the host callback, the pins, timed events and the current processing routine.
#pragma once

#include "SEPin.h"
#include "my_delegate.h"
#include "se_contract.h"

class SEModule_base;

// Processing shape: (buffer offset, sample count). SE_CALL makes the object the first stack
// argument, so the routine's code_word is itself an entry the host can call.
using SeProcessMember = void (SE_CALL SEModule_base::*)(int32_t buffer_offset,
                                                        int32_t sample_count);
// Delayed-call shape: no arguments; called by the runtime only, so it may be virtual.
using SeDelayedMember = void (SEModule_base::*)();

using process_delegate = my_delegate<SeProcessMember>;
using delayed_delegate = my_delegate<SeDelayedMember>;

// Pin counts above this are taken as a host fault and give the instance no pins.
constexpr int32_t kMaxPinCount = 65536;

class SEModule_base {
public:
    SEModule_base(SeAudioMasterFn host_callback, void* host_reserved);
    virtual ~SEModule_base();

    virtual void OnPlugStateChange(SEPin* pin);
    virtual void HandleEvent(SeEvent* event);
    virtual int32_t dispatcher(int32_t opcode, int32_t index, int32_t value, void* ptr, float opt);
    virtual void open();
    virtual void close();
    virtual void OnInputStatusChange(int pin_index, state_type state);
    virtual void setSampleRate(float sample_rate);
    virtual void setBlockSize(int32_t block_size);
    virtual float getSampleRate();
    virtual int32_t getBlockSize();
    virtual bool getPinProperties(int32_t index, SEPinProperties* properties);
    virtual int32_t getName(char* name);
    virtual int32_t getUniqueId(char* id);
    virtual void Resume();
    virtual void VoiceReset(int voice);
    virtual void OnMidiData(uint32_t time_stamp, uint32_t midi_data, int16_t extra);
    virtual void OnGuiNotify(int user_msg_id, int size, void* data);

    SEMod_struct_base2* getAeffect() { return &m_record; }
    int32_t CallHost(int32_t opcode, int32_t index, int32_t value, void* ptr, float opt);
    uint32_t SampleClock();

    // The pin at `index`, or null (with a report) before open() or outside the array.
    SEPin* getPin(int index);
    int getPinCount() const { return m_pin_count; }
    bool getPinProperties_clean(int32_t index, SEPinProperties* properties);

    void AddEvent(uint32_t p_time_stamp, int32_t event_type, int32_t value1, int32_t value2,
                  void* value_ptr);
    void RunDelayed(uint32_t time, SeDelayedMember routine);
    void setSubProcess(SeProcessMember routine);
    SeProcessMember getSubProcess() const { return sub_process_delegate.member; }
    const process_delegate& getSubProcessDelegate() const { return sub_process_delegate; }

    // The two entries whose code words the host calls with the object as first stack argument.
    void SE_CALL process_idle(int32_t buffer_offset, int32_t sample_count);
    void SE_CALL private_HandleEvent(SeEvent* event);

protected:
    SeAudioMasterFn seaudioMaster;
    SEMod_struct_base2 m_record;
    float m_sample_rate;
    int32_t m_block_size;
    SEPin* m_pins;
    process_delegate sub_process_delegate;
    int32_t m_pin_count; // elements in m_pins; 0 while m_pins is null

private:
    void releasePins();
};

// The dispatcher entry of every record: forwards to the object's virtual dispatcher.
int32_t SE_CALL dispatchEffectClass(SEMod_struct_base2* record, int32_t opcode, int32_t index,
                                    int32_t value, void* ptr, float opt);
