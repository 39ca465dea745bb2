#ifndef REWARD_VALUES_H
#define REWARD_VALUES_H

class PVModel;

// What the reward model says of the state its last firing reached: each
// performance variable's impulse value then its rate value, so two numbers
// per variable. Read out of one model instance, written by whoever numbers
// the state (possibly on another thread, from another instance).
int rewardValueCount(const PVModel& model);
void readRewardValues(const PVModel& model, double* values);

#endif
