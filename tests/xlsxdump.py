"""Prints the layout of an .xlsx file as JSON, for the spreadsheet tests."""
import json
import sys

import openpyxl

book = openpyxl.load_workbook(sys.argv[1])
sheets = []
for sheet in book.worksheets:
    cells = []
    for row in sheet.iter_rows():
        for cell in row:
            if cell.value is None:
                continue
            cells.append({
                "ref": cell.coordinate,
                "value": cell.value,
                "bold": bool(cell.font and cell.font.b),
                "horizontal": cell.alignment.horizontal,
                "vertical": cell.alignment.vertical,
                "wrap": bool(cell.alignment.wrap_text),
            })
    sheets.append({
        "name": sheet.title,
        "gridlines": sheet.sheet_view.showGridLines in (None, True),
        "merged": sorted(str(r) for r in sheet.merged_cells.ranges),
        "widths": {k: v.width for k, v in sheet.column_dimensions.items() if v.width},
        "heights": {str(k): v.height for k, v in sheet.row_dimensions.items() if v.height},
        "maxRow": sheet.max_row,
        "cells": cells,
    })
json.dump({"sheets": sheets}, sys.stdout, ensure_ascii=False)
