#pragma once

class QLineEdit;

namespace quillory {

// Password boxes show "*" for every character, whatever mask the widget style would use; once
// one holds a password, the process keeps it out of core files.
void maskWithStars(QLineEdit *box);

} // namespace quillory
