"""Multi-agent path finding on a 2D `Grid`: plans in which agents never
share a cell at a time step nor swap places, and the building blocks
(reservation tables, searches in space and time)."""

from __future__ import annotations

from ._reservations import ReservationTable

__all__ = ["ReservationTable"]
