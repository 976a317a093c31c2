"""Pictures of a solved tour: its itinerary, the SVG picture and the report page. Functions of a
tour and its problem; the tour is read through the shape in `shapes`, so that `Tour` can draw
itself without this package importing it."""
