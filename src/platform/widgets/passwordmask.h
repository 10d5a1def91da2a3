#pragma once

class QLineEdit;

namespace quillory {

// Password boxes show "*" for every character, whatever mask the widget style would use.
void maskWithStars(QLineEdit *box);

} // namespace quillory
