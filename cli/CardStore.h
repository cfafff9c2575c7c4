#pragma once
// The pad bank store as the terminal tool uses it: the store itself, with the two helpers the desktop
// program's dialogs reach from the inside made available to the commands (deleting a file a pad names,
// and the message of a failed conversion's result code).

#include "store/CPadBankStore.h"

namespace k72::cli {

class CardStore : public CPadBankStore {
public:
    using CPadBankStore::CPadBankStore;
    using CPadBankStore::DeleteCardFile;
    using CPadBankStore::ShowResultMessage;
};

} // namespace k72::cli
