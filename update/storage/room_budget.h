// The flash store's room, one for all the writers of a run. Reading it costs the platform
// as much as a third of a small file's copy, so it is read only when the room counted since
// the last reading runs short. A writer that puts its temporary beside the target first
// reserves the room the temporary will take, from what the last reading left less what was
// being written then and what was reserved since (the count errs towards too little). A
// writer that finds too little so counted, or that meets a full file system, waits until it
// writes alone, and then decides on the room as it stands (update/rules/room_rules.h).
#pragma once
#include <windows.h>
#include "platform/locks.h"

// The room a target's file system offers: its free bytes and its allocation unit.
struct Room {
    ULONGLONG cbFree = 0;
    ULONGLONG cbUnit = 0;
};
// FALSE when the file system that holds pszTarget's folder does not say.
bool ReadRoom(LPCWSTR pszTarget, Room &room);
using RoomReader = bool (*)(LPCWSTR pszTarget, Room &room);

// Kept back from each reading, in allocation units: what making folders and names may take
// meanwhile.
inline constexpr ULONGLONG kRoomMarginUnits = 64;

class CRoomBudget {
public:
    // read: how the room is read (the file system's, ReadRoom; a table's in the tests).
    explicit CRoomBudget(RoomReader read = ReadRoom) : m_read(read) {}
    CRoomBudget(const CRoomBudget &) = delete;
    CRoomBudget &operator=(const CRoomBudget &) = delete;

    // Reserves the room a temporary of cbNew bytes takes beside pszTarget, reading the room
    // again if what is left falls short; cbReserved is what to give back once it is
    // written. FALSE when too little is left. A file system that does not tell its room
    // gets the temporary beside, as it always may.
    bool Reserve(LPCWSTR pszTarget, ULONGLONG cbNew, ULONGLONG &cbReserved);
    // Gives a reservation back; bReadAgain: the room is to be read anew before the next one.
    void GiveBack(ULONGLONG cbReserved, bool bReadAgain);

    // Held shared by every writer that writes beside its target, exclusive by a writer
    // that must write alone.
    CSharedExclusiveLock &Writers() { return m_writers; }

private:
    CSharedExclusiveLock m_writers;
    const RoomReader m_read;
    CCriticalSection m_lock;         // guards the rest
    bool m_bRead = false;            // m_cbLeft and m_cbUnit hold a reading
    ULONGLONG m_cbLeft = 0;          // what the writers may still reserve without reading again
    ULONGLONG m_cbUnit = 0;          // the file system's allocation unit
    ULONGLONG m_cbWriting = 0;       // reserved by the writers at work
};
