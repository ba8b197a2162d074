// Placeholder until the command's library lands.
namespace quillor {}
