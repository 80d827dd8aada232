"""Compiled helpers of the agent that lie beside the engine's specified modules."""
