// Placeholder: the exported entry is added with the entry work.
