#pragma once

// Makes the folder that holds this process's executable the current directory. Returns false,
// with the thread's last error saying why, when that folder cannot be found whole or cannot be
// entered; the current directory is then left as it was.
bool enter_own_folder();
