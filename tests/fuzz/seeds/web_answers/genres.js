// START GENRE LIST
var g = new Array(
"Acid Jazz",
"R&B", "Pop",
// END GENRE LIST
);
